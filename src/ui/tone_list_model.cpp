// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone_list_model.h"

#include <optional>

namespace tonalyx::ui {

namespace {
// What a row shows and sends, whichever kind it is.
struct Row {
    std::int32_t program; // as sent
    std::optional<std::int32_t> bank; // none for a drum set
    std::string_view name;
};

QString textOf(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
} // namespace

ToneListModel::ToneListModel(QObject* parent)
    : QAbstractTableModel(parent)
{
    search_.find({}, shown_);
    search_.findDrumSets({}, shownSets_);
}

void ToneListModel::showMatches(const QString& query)
{
    beginResetModel();
    const std::string typed = query.toUtf8().toStdString();
    search_.find(typed, shown_);
    search_.findDrumSets(typed, shownSets_);
    endResetModel();
}

int ToneListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(shown_.size() + shownSets_.size());
}

int ToneListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ToneListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const auto position = static_cast<std::size_t>(index.row());
    const Row row = [&]() -> Row {
        if (position < shown_.size()) {
            const auto& tone = catalogue::tones()[shown_[position]];
            return { tone.program, tone.bank, tone.name };
        }
        const auto& set = catalogue::drumSets()[shownSets_.at(position - shown_.size())];
        return { set.program, std::nullopt, set.name };
    }();
    if (role == ProgramRole)
        return int(row.program);
    if (role == BankRole)
        return row.bank ? QVariant(int(*row.bank)) : QVariant();
    if (role == DrumSetRole)
        return !row.bank;
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case ProgramColumn:
            return catalogue::shownProgramNumber(row.program);
        case BankColumn:
            return row.bank ? QVariant(int(*row.bank)) : QVariant(QStringLiteral("Drum"));
        case NameColumn:
            return textOf(row.name);
        default:
            return {};
        }
    }
    if (role == Qt::TextAlignmentRole && index.column() != NameColumn)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant ToneListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case ProgramColumn:
        return QStringLiteral("プログラム");
    case BankColumn:
        return QStringLiteral("バンク");
    case NameColumn:
        return QStringLiteral("楽器名");
    default:
        return {};
    }
}

} // namespace tonalyx::ui
