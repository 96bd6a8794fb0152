// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QLineEdit;
class QWidget;

namespace tonalyx::ui {

class ToneListModel;
class ToneListView;

// The tone finder's page: a search field above the list of the tones that match it. The list's
// model follows the field on every keystroke; typing never sounds.
struct ToneFinder {
    QLineEdit* searchField;
    ToneListModel* model;
    ToneListView* list;
};

// Creates the finder's controls on `page`, filling it, named "FinderEdit" (with its clear button
// "FinderClear") and "FinderList".
ToneFinder placeToneFinder(QWidget* page);

} // namespace tonalyx::ui
