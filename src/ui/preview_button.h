// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPushButton>

namespace tonalyx::ui {

// A push button that reports the four events a preview is built from, and the two that tell a
// press may be coming: the pointer entering it and the keyboard focus arriving. It never consumes
// an event: focus on click, the space bar and the rest of the toolkit's handling go on as usual.
// Mouse presses and releases come with their mouse button.
//
// Keys: a held key repeats its press, as the keyboard does, and only its real release is a
// release. Where a held key comes as pairs of release and press marked as repeats (X11's default),
// the repeated releases are not passed on. Tab and Backtab belong to focus movement and are never
// reported, neither pressed nor released.
class PreviewButton : public QPushButton {
    Q_OBJECT

public:
    explicit PreviewButton(QWidget* parent = nullptr);

signals:
    void mouseDown(Qt::MouseButton button);
    void mouseUp(Qt::MouseButton button);
    void keyDown();
    void keyUp();
    void pointerEntered();
    void focusArrived();

protected:
    void enterEvent(QEnterEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
};

} // namespace tonalyx::ui
