// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QWidget>

namespace tonalyx::ui {

// One key of the on-screen keyboard: a filled rectangle with a one-pixel black outline that
// reports mouse presses and releases of any button, with the button. It takes no focus and never
// changes its look.
class KeyShape : public QWidget {
    Q_OBJECT

public:
    KeyShape(const QColor& fill, QWidget* parent);

signals:
    void mouseDown(Qt::MouseButton button);
    void mouseUp(Qt::MouseButton button);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QColor fill_;
};

} // namespace tonalyx::ui
