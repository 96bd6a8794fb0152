// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalogue/tone_catalogue.h"
#include "catalogue/tone_search.h"

#include <QAbstractTableModel>
#include <cstdint>
#include <vector>

namespace tonalyx::ui {

// The tones that match the finder's search, as rows of program (shown 1 to 128), bank and name.
// Every cell of a row also gives the row's tone as it is sent: its program (0 to 127) in
// ProgramRole and its bank in BankRole. It reads the constant catalogue and keeps only the
// positions of the rows shown.
class ToneListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { ProgramColumn, BankColumn, NameColumn, ColumnCount };
    enum Role { ProgramRole = Qt::UserRole, BankRole };

    explicit ToneListModel(QObject* parent = nullptr);

    // Shows the tones that match `query`; every tone for an empty one.
    void showMatches(const QString& query);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const catalogue::CatalogueTone& toneAt(int row) const;

    catalogue::ToneSearch search_;
    std::vector<std::uint16_t> shown_; // positions in catalogue::tones()
};

} // namespace tonalyx::ui
