// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMargins>
#include <QObject>
#include <QRect>

class QWidget;

namespace tonalyx::ui {

// Places a top-level window by its outer rectangle, frame included, and reads it back the same
// way. The frame's corner is where the window manager puts it when it first maps the window, and
// it stays there. Where the window manager tells before the mapping what frame it will put around
// the window, the size is right from the first too. Elsewhere the frame is unknown until the
// window manager has decorated the window; until then the rectangle last asked for is what the
// window reads back, and once the frame is known the asked-for size is applied again with the
// real margins, the frame's corner staying put. Until the window shows the size asked for (or a
// second has passed, for a window manager that will not give it), the rectangle asked for is what
// the window reads back, so a window closed while it is being fitted still reads back exactly
// what it was given, as does one that is neither moved nor resized.
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
    void settleBeforeMapping();
    void fitOnce();
    // The window manager has put a frame around the window, and the size that fits it into the
    // rectangle asked for is still to be applied.
    bool fitPending() const;
    // Reads back the rectangle asked for again, until the window shows it or a second has passed.
    void unsettle();
    void settleIfShownAsAsked();

    QWidget& window_;
    QRect requested_;
    bool fitted_ = false;
    bool settled_ = false; // the window shows what it was asked for, or has been given time to
    bool shownBefore_ = false;
};

} // namespace tonalyx::ui
