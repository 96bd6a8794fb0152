#include "tone_finder.h"

#include "tone_list_model.h"
#include "tone_list_view.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QVBoxLayout>

namespace tonalyx::ui {

namespace {
// The number columns hold at most three digits under their captions.
constexpr int kNumberColumnWidth = 72;
constexpr int kMargin = 8;
} // namespace

ToneFinder placeToneFinder(QWidget* page)
{
    auto* searchField = new QLineEdit(page);
    searchField->setObjectName(QStringLiteral("FinderEdit"));
    searchField->setPlaceholderText(QStringLiteral("音色名・楽器・プログラムナンバーで検索"));
    searchField->setClearButtonEnabled(true);

    auto* list = new ToneListView(page);
    list->setObjectName(QStringLiteral("FinderList"));
    list->header()->resizeSection(ToneListModel::ProgramColumn, kNumberColumnWidth);
    list->header()->resizeSection(ToneListModel::BankColumn, kNumberColumnWidth);

    // The page's size is the tab control's, less its tab row, which depends on the style: a
    // layout fits the two to whatever is left.
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    layout->addWidget(searchField);
    layout->addWidget(list);

    QObject::connect(searchField, &QLineEdit::textChanged, list,
        [list](const QString& text) { list->toneModel().showMatches(text); });
    return { searchField, list };
}

} // namespace tonalyx::ui
