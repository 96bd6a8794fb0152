// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMargins>
#include <QObject>
#include <QRect>

class QWidget;

namespace tonalyx::ui {

// Places a top-level window by its outer rectangle, frame included, and reads it back the same
// way. The frame is unknown until the window manager has decorated the window, some time after
// the first show; until then the rectangle last asked for is what the window reads back, and once
// the frame is known the asked-for size is applied again with the real margins. So a window that
// is neither moved nor resized reads back exactly what it was given.
class OuterFrame : public QObject {
    Q_OBJECT

public:
    // Watches `window`, which owns this object.
    explicit OuterFrame(QWidget& window);

    void place(const QRect& outer);
    QRect rect() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QMargins margins() const;
    bool canPlaceItself() const;
    void fitOnce();

    QWidget& window_;
    QRect requested_;
    bool fitted_ = false;
};

} // namespace tonalyx::ui
