// SPDX-License-Identifier: GPL-3.0-or-later
#include "outer_frame.h"

#include "frame_extents.h"

#include <QEvent>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <utility>

namespace tonalyx::ui {

namespace {
// A window manager that answers does so within a few milliseconds. This bounds how long the first
// show waits for one that says it answers and does not (fluxbox 1.3.7 answers only for windows it
// already manages); the window is then fitted once it is mapped.
constexpr std::chrono::milliseconds kFrameAnswerPatience { 10 };
// How long after the first show the window reads back the rectangle asked for, at most, when the
// window manager gives it another size (a tiling one, say).
constexpr std::chrono::seconds kSettleLimit { 1 };
} // namespace

OuterFrame::OuterFrame(QWidget& window)
    : QObject(&window)
    , window_(window)
{
    window_.installEventFilter(this);
}

void OuterFrame::place(const QRect& outer)
{
    requested_ = outer;
    if (shownBefore_)
        unsettle();
    else
        settled_ = false;
    const QMargins frame = margins();
    window_.move(outer.topLeft());
    window_.resize(outer.width() - frame.left() - frame.right(),
        outer.height() - frame.top() - frame.bottom());
}

QRect OuterFrame::rect() const
{
    // The window system tells of the fitted size some time after it was asked for; a close in
    // between must not take the size before the fit for the one asked for. Nor must one after
    // the frame became known and before the fit was asked for.
    if (!window_.isVisible() || !settled_ || fitPending())
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

void OuterFrame::settleBeforeMapping()
{
    if (fitted_)
        return;
    const auto frame = frameBeforeMapping(window_, kFrameAnswerPatience);
    if (!frame)
        return;
    fitted_ = true;
    window_.resize(requested_.size().shrunkBy(*frame));
    // The frame's corner: the window manager puts the frame there when it maps the window.
    window_.windowHandle()->setFramePosition(requested_.topLeft());
}

void OuterFrame::fitOnce()
{
    if (fitted_ || !window_.isVisible())
        return;
    const QMargins frame = margins();
    if (frame.isNull())
        return;
    fitted_ = true;
    unsettle();
    const QSize client = requested_.size().shrunkBy(frame);
    QWindow* handle = window_.windowHandle();
    // On X11 the window itself is given its client rectangle where the frame keeps its corner. A
    // resize there takes the client's corner for the frame's and moves the window, and putting
    // the frame back afterwards makes it move twice.
    if (handle != nullptr && QGuiApplication::platformName() == QLatin1String("xcb")) {
        handle->setGeometry(
            QRect(requested_.topLeft() + QPoint(frame.left(), frame.top()), client));
        return;
    }
    window_.resize(client);
    // Some window systems shift a decorated window by its frame when it is resized.
    if (canPlaceItself() && handle != nullptr)
        handle->setFramePosition(requested_.topLeft());
}

bool OuterFrame::fitPending() const
{
    return !fitted_ && !margins().isNull();
}

void OuterFrame::unsettle()
{
    settled_ = false;
    QTimer::singleShot(kSettleLimit, this, [this] { settled_ = true; });
}

void OuterFrame::settleIfShownAsAsked()
{
    if (!settled_ && window_.isVisible() && !fitPending()
        && window_.frameGeometry().size() == requested_.size())
        settled_ = true;
}

bool OuterFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &window_)
        return false;
    const auto type = event->type();
    if (type == QEvent::Show && !std::exchange(shownBefore_, true))
        QTimer::singleShot(kSettleLimit, this, [this] { settled_ = true; });
    // A show is told before the window is mapped.
    if (type == QEvent::Show && !event->spontaneous())
        settleBeforeMapping();
    // Later, not from inside the window system's own geometry change, which would undo ours.
    if (type == QEvent::Move || type == QEvent::Resize || type == QEvent::Show) {
        QMetaObject::invokeMethod(this, &OuterFrame::fitOnce, Qt::QueuedConnection);
        QMetaObject::invokeMethod(this, &OuterFrame::settleIfShownAsAsked, Qt::QueuedConnection);
    }
    return false;
}

} // namespace tonalyx::ui
