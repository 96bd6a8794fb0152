// SPDX-License-Identifier: GPL-3.0-or-later
#include "key_shape.h"

#include <QMouseEvent>
#include <QPainter>

namespace tonalyx::ui {

KeyShape::KeyShape(const QColor& fill, QWidget* parent)
    : QWidget(parent)
    , fill_(fill)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void KeyShape::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.fillRect(rect().adjusted(1, 1, -1, -1), fill_);
}

void KeyShape::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    emit mouseDown(event->button());
}

// The second press of a double click is a press like any other.
void KeyShape::mouseDoubleClickEvent(QMouseEvent* event)
{
    mousePressEvent(event);
}

void KeyShape::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    emit mouseUp(event->button());
}

} // namespace tonalyx::ui
