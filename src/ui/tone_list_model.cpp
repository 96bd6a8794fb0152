// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone_list_model.h"

namespace tonalyx::ui {

ToneListModel::ToneListModel(QObject* parent)
    : QAbstractTableModel(parent)
{
    search_.find({}, shown_);
}

void ToneListModel::showMatches(const QString& query)
{
    beginResetModel();
    search_.find(query.toUtf8().toStdString(), shown_);
    endResetModel();
}

const catalogue::CatalogueTone& ToneListModel::toneAt(int row) const
{
    return catalogue::tones()[shown_.at(static_cast<std::size_t>(row))];
}

int ToneListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int ToneListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ToneListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const auto& tone = toneAt(index.row());
    if (role == ProgramRole)
        return int(tone.program);
    if (role == BankRole)
        return int(tone.bank);
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case ProgramColumn:
            return catalogue::shownProgramNumber(tone.program);
        case BankColumn:
            return int(tone.bank);
        case NameColumn:
            return QString::fromUtf8(tone.name.data(), static_cast<qsizetype>(tone.name.size()));
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
