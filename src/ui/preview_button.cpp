// SPDX-License-Identifier: GPL-3.0-or-later
#include "preview_button.h"

#include <QEnterEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>

namespace tonalyx::ui {

namespace {
bool movesFocus(const QKeyEvent* event)
{
    return event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab;
}
} // namespace

PreviewButton::PreviewButton(QWidget* parent)
    : QPushButton(parent)
{
    setAutoDefault(false);
}

void PreviewButton::mousePressEvent(QMouseEvent* event)
{
    emit mouseDown(event->button());
    QPushButton::mousePressEvent(event);
}

void PreviewButton::mouseReleaseEvent(QMouseEvent* event)
{
    emit mouseUp(event->button());
    QPushButton::mouseReleaseEvent(event);
}

void PreviewButton::keyPressEvent(QKeyEvent* event)
{
    if (!movesFocus(event))
        emit keyDown();
    QPushButton::keyPressEvent(event);
}

void PreviewButton::keyReleaseEvent(QKeyEvent* event)
{
    if (!movesFocus(event) && !event->isAutoRepeat())
        emit keyUp();
    QPushButton::keyReleaseEvent(event);
}

void PreviewButton::enterEvent(QEnterEvent* event)
{
    emit pointerEntered();
    QPushButton::enterEvent(event);
}

void PreviewButton::focusInEvent(QFocusEvent* event)
{
    emit focusArrived();
    QPushButton::focusInEvent(event);
}

} // namespace tonalyx::ui
