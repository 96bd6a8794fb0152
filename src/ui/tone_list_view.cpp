// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone_list_view.h"

#include "tone_list_model.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

namespace tonalyx::ui {

namespace {
bool movesCurrentRow(int key)
{
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        return true;
    default:
        return false;
    }
}

bool isEnter(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

int programOf(const QModelIndex& row)
{
    return row.data(ToneListModel::ProgramRole).toInt();
}

int bankOf(const QModelIndex& row)
{
    return row.data(ToneListModel::BankRole).toInt();
}

bool isDrumSet(const QModelIndex& row)
{
    return row.data(ToneListModel::DrumSetRole).toBool();
}
} // namespace

ToneListView::ToneListView(QWidget* parent)
    : QTreeView(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(true);
}

void ToneListView::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid()) {
        pressedOnRow_ |= event->button();
        if (isDrumSet(index))
            emit drumSetMouseDown(programOf(index), event->button());
        else
            emit mouseDown(programOf(index), bankOf(index), event->button());
    }
    QTreeView::mousePressEvent(event);
}

void ToneListView::mouseReleaseEvent(QMouseEvent* event)
{
    if (pressedOnRow_.testFlag(event->button())) {
        pressedOnRow_.setFlag(event->button(), false);
        emit mouseUp(event->button());
    }
    QTreeView::mouseReleaseEvent(event);
}

// An item view takes the second press of a double click for activation, not for a press; here it
// previews again, as the buttons do.
void ToneListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    mousePressEvent(event);
}

void ToneListView::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (isEnter(key)) {
        if (!event->isAutoRepeat() && !repeatsSoundingKey(event))
            pressCurrentRow(key);
        event->accept();
        return;
    }
    if (!movesCurrentRow(key)) {
        QTreeView::keyPressEvent(event);
        return;
    }
    const QModelIndex before = currentIndex();
    QTreeView::keyPressEvent(event);
    // A held key that cannot move on (the list's end) keeps its row sounding.
    if (repeatsSoundingKey(event) && currentIndex() == before)
        return;
    pressCurrentRow(key);
}

// The toolkit marks a held key's repeats only where they come in pairs with releases. The program
// asks X11 for repeats without releases, which come as plain presses: a press of the key that
// sounds, before its release, is that key held all the same.
bool ToneListView::repeatsSoundingKey(const QKeyEvent* event) const
{
    return soundingKey_ != 0 && (event->isAutoRepeat() || event->key() == soundingKey_);
}

void ToneListView::pressCurrentRow(int key)
{
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return;
    soundingKey_ = key;
    if (isDrumSet(current))
        emit drumSetKeyDown(programOf(current));
    else
        emit keyDown(programOf(current), bankOf(current));
}

void ToneListView::keyReleaseEvent(QKeyEvent* event)
{
    if (!event->isAutoRepeat() && soundingKey_ != 0 && event->key() == soundingKey_) {
        soundingKey_ = 0;
        emit keyUp();
    }
    QTreeView::keyReleaseEvent(event);
}

void ToneListView::focusOutEvent(QFocusEvent* event)
{
    if (soundingKey_ != 0) {
        soundingKey_ = 0;
        emit keyUp();
    }
    QTreeView::focusOutEvent(event);
}

} // namespace tonalyx::ui
