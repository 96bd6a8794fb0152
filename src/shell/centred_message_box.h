// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMessageBox>
#include <QTimer>

namespace tonalyx::shell {

// A message box whose frame is centred on the available area of the screen. The toolkit places a
// box before it has sized it to its text, which leaves a box without a parent well off centre.
// This one is placed once its size is known, as it is shown, and placed again once the window
// manager has put its frame around it: only then is the frame's size known, and the window system
// does not always say when that happens.
class CentredMessageBox : public QMessageBox {
    Q_OBJECT

public:
    CentredMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void centre();
    void centreOnceFramed();

    QTimer frameWatch_;
    int framesLookedFor_ = 0;
};

} // namespace tonalyx::shell
