// SPDX-License-Identifier: GPL-3.0-or-later
#include "centred_message_box.h"

#include <QApplication>
#include <QCursor>
#include <QScreen>
#include <QWindow>

namespace tonalyx::shell {

namespace {
// How often, and how long, to look for the frame of a shown box. A window manager frames a new
// window within some tens of milliseconds; without one there is never a frame.
constexpr std::chrono::milliseconds kFrameWatchInterval { 20 };
constexpr int kFrameWatchLooks = 100;

// Asked of the window itself: the widget's own idea of its frame is brought up to date later.
QMargins frameMargins(const QWidget& window)
{
    const QWindow* handle = window.windowHandle();
    return handle ? handle->frameMargins() : QMargins();
}

// The frame that the window manager will most likely give a window it has not framed yet: that
// of another window of the program already on the screen, if there is one.
QMargins likelyFrame(const QWidget& unframed)
{
    for (const QWidget* window : QApplication::topLevelWidgets()) {
        if (window == &unframed || !window->isVisible())
            continue;
        if (const QMargins margins = frameMargins(*window); !margins.isNull())
            return margins;
    }
    return {};
}

const QScreen* screenForBox()
{
    if (const QScreen* screen = QGuiApplication::screenAt(QCursor::pos()))
        return screen;
    return QGuiApplication::primaryScreen();
}
} // namespace

CentredMessageBox::CentredMessageBox(
    QMessageBox::Icon icon, const QString& title, const QString& text)
    : QMessageBox(icon, title, text, QMessageBox::Ok)
{
    frameWatch_.setInterval(kFrameWatchInterval);
    connect(&frameWatch_, &QTimer::timeout, this, &CentredMessageBox::centreOnceFramed);
}

void CentredMessageBox::showEvent(QShowEvent* event)
{
    // The box takes its final size here, before it appears on the screen.
    QMessageBox::showEvent(event);
    centre();
    if (frameMargins(*this).isNull()) {
        framesLookedFor_ = 0;
        frameWatch_.start();
    }
}

void CentredMessageBox::centreOnceFramed()
{
    if (!frameMargins(*this).isNull()) {
        frameWatch_.stop();
        centre();
    } else if (++framesLookedFor_ >= kFrameWatchLooks || !isVisible()) {
        frameWatch_.stop();
    }
}

void CentredMessageBox::centre()
{
    const QScreen* screen = screenForBox();
    if (screen == nullptr)
        return;
    const QRect area = screen->availableGeometry();
    const QMargins frame = frameMargins(*this);
    const QSize outer = size().grownBy(frame.isNull() ? likelyFrame(*this) : frame);
    // Both place the frame's top left corner.
    const QPoint topLeft(area.left() + (area.width() - outer.width()) / 2,
        area.top() + (area.height() - outer.height()) / 2);
    // Once framed, the widget's own idea of its frame lags behind the window's, so the window
    // itself is moved.
    if (!frame.isNull())
        windowHandle()->setFramePosition(topLeft);
    else
        move(topLeft);
}

} // namespace tonalyx::shell
