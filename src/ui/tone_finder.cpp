// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone_finder.h"

#include "accessible_texts.h"
#include "tone_list_model.h"
#include "tone_list_view.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace tonalyx::ui {

namespace {
// The number columns hold at most three digits under their captions.
constexpr int kNumberColumnWidth = 72;
constexpr int kMargin = 8;
// A search needs a few words at most. Without a bound the field would take 32,767 characters, and
// every keystroke would keep its own step to undo, so a field typed into for long enough would
// only ever grow.
constexpr int kLongestSearch = 64;
} // namespace

ToneFinder placeToneFinder(QWidget* page)
{
    auto* searchField = new QLineEdit(page);
    searchField->setObjectName(QStringLiteral("FinderEdit"));
    searchField->setPlaceholderText(QStringLiteral("音色名・楽器・プログラムナンバーで検索"));
    searchField->setClearButtonEnabled(true);
    searchField->setMaxLength(kLongestSearch);
    searchField->setAccessibleName(QString::fromUtf8(accessible::kFinderField.name));
    searchField->setAccessibleDescription(QString::fromUtf8(accessible::kFinderField.description));
    // The clear button is the field's one tool button, made with it: an icon without a caption,
    // which unnamed a screen reader could only call "button".
    if (auto* clearButton = searchField->findChild<QToolButton*>()) {
        clearButton->setObjectName(QStringLiteral("FinderClear"));
        clearButton->setAccessibleName(QString::fromUtf8(accessible::kFinderClearButton.name));
        clearButton->setAccessibleDescription(
            QString::fromUtf8(accessible::kFinderClearButton.description));
    }

    auto* list = new ToneListView(page);
    auto* model = new ToneListModel(page);
    list->setModel(model);
    list->setObjectName(QStringLiteral("FinderList"));
    list->setAccessibleName(QString::fromUtf8(accessible::kFinderList.name));
    list->setAccessibleDescription(QString::fromUtf8(accessible::kFinderList.description));
    list->header()->resizeSection(ToneListModel::ProgramColumn, kNumberColumnWidth);
    list->header()->resizeSection(ToneListModel::BankColumn, kNumberColumnWidth);

    // The page's size is the tab control's, less its tab row, which depends on the style: a
    // layout fits the two to whatever is left.
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    layout->addWidget(searchField);
    layout->addWidget(list);

    QObject::connect(searchField, &QLineEdit::textChanged, model, &ToneListModel::showMatches);
    return { searchField, model, list };
}

} // namespace tonalyx::ui
