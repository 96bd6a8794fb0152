// SPDX-License-Identifier: GPL-3.0-or-later
#include "outer_frame.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

namespace tonalyx::ui {

OuterFrame::OuterFrame(QWidget& window)
    : QObject(&window)
    , window_(window)
{
    window_.installEventFilter(this);
}

void OuterFrame::place(const QRect& outer)
{
    requested_ = outer;
    const QMargins frame = margins();
    window_.move(outer.topLeft());
    window_.resize(outer.width() - frame.left() - frame.right(),
        outer.height() - frame.top() - frame.bottom());
}

QRect OuterFrame::rect() const
{
    if (!window_.isVisible())
        return requested_;
    QRect outer = window_.frameGeometry();
    // Where the window system does not let a window place itself, its reported position means
    // nothing; keep the one that was asked for.
    if (!canPlaceItself())
        outer.moveTopLeft(requested_.topLeft());
    return outer;
}

QMargins OuterFrame::margins() const
{
    const QRect frame = window_.frameGeometry();
    const QRect client = window_.geometry();
    return { client.left() - frame.left(), client.top() - frame.top(),
        frame.right() - client.right(), frame.bottom() - client.bottom() };
}

bool OuterFrame::canPlaceItself() const
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void OuterFrame::fitOnce()
{
    if (fitted_ || !window_.isVisible())
        return;
    const QMargins frame = margins();
    if (frame.isNull())
        return;
    fitted_ = true;
    // The position already counted the frame; only the client size has to make room for it.
    window_.resize(requested_.width() - frame.left() - frame.right(),
        requested_.height() - frame.top() - frame.bottom());
    // Some window systems shift a decorated window by its frame when it is resized.
    // The widget may still believe it is where it was, so ask the window itself.
    if (canPlaceItself() && window_.windowHandle())
        window_.windowHandle()->setFramePosition(requested_.topLeft());
}

bool OuterFrame::eventFilter(QObject* watched, QEvent* event)
{
    // Later, not from inside the window system's own geometry change, which would undo ours.
    if (watched == &window_
        && (event->type() == QEvent::Move || event->type() == QEvent::Resize
            || event->type() == QEvent::Show))
        QMetaObject::invokeMethod(this, &OuterFrame::fitOnce, Qt::QueuedConnection);
    return false;
}

} // namespace tonalyx::ui
