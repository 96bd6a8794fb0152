// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalogue/drum_sets.h"
#include "catalogue/tone_catalogue.h"
#include "catalogue/tone_search.h"

#include <QAbstractTableModel>
#include <cstdint>
#include <vector>

namespace tonalyx::ui {

// The tones that match the finder's search, as rows of program (shown 1 to 128), bank and name,
// followed by the drum sets that match it. Every cell of a row also gives the row's tone as it is
// sent: its program (0 to 127) in ProgramRole and its bank in BankRole. A drum set's row shows its
// program, "Drum" where a tone's bank would be (a set has no bank: its program alone selects it on
// the drum channel) and its name as the drum page writes it; its cells are true in DrumSetRole,
// give its program in ProgramRole and nothing in BankRole. It reads the constant catalogue and
// keeps only the positions of the rows shown.
class ToneListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { ProgramColumn, BankColumn, NameColumn, ColumnCount };
    enum Role { ProgramRole = Qt::UserRole, BankRole, DrumSetRole };

    explicit ToneListModel(QObject* parent = nullptr);

    // Shows the tones that match `query`; every tone for an empty one.
    void showMatches(const QString& query);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    catalogue::ToneSearch search_;
    std::vector<std::uint16_t> shown_; // positions in catalogue::tones()
    std::vector<std::uint8_t> shownSets_; // positions in catalogue::drumSets(), after the tones
};

} // namespace tonalyx::ui
