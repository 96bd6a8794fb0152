// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTreeView>

namespace tonalyx::ui {

// The finder's list of tones, over a ToneListModel its owner gives it. Like PreviewButton it only
// reports presses and releases, here with the program (0 to 127, as sent) and bank of the row they
// concern, or for a drum set's row with the set's program alone, and leaves the rest of the
// toolkit's handling as it is. Both kinds of row are pressed and released alike.
//
// Mouse: a press of any button on a row, the second press of a double click included, is a
// press; its release, wherever the pointer is then, is the release.
// Keys: Up, Down, Page Up, Page Down, Home and End move the current row, and each press that
// lands on a row is a press of that row, a held key's repeats included as long as they move on
// (a press of the key already sounding is its repeat, whether the toolkit marks it so or not);
// Enter (either one) is a press of the current row, once however long it is held. The release of
// the key that pressed last is the release, and so is the focus leaving the list while it is
// down, since the release would then go elsewhere. Other keys are never reported.
class ToneListView : public QTreeView {
    Q_OBJECT

public:
    explicit ToneListView(QWidget* parent = nullptr);

signals:
    void mouseDown(int program, int bank, Qt::MouseButton button);
    void mouseUp(Qt::MouseButton button);
    void keyDown(int program, int bank);
    void drumSetMouseDown(int program, Qt::MouseButton button);
    void drumSetKeyDown(int program);
    void keyUp();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // Reports a key press of the current row, if there is one.
    void pressCurrentRow(int key);
    bool repeatsSoundingKey(const QKeyEvent* event) const;

    Qt::MouseButtons pressedOnRow_;
    int soundingKey_ = 0; // the key whose press sounds now, 0 for none
};

} // namespace tonalyx::ui
