#pragma once

#include "app/shared/station_board.h"

#include <QAbstractListModel>
#include <vector>

namespace dedarida {

// The station's tiles as the view draws them: a row per tile, in the
// board's order, a role per field of Tile (an absent value is an invalid
// QVariant). It holds the board's last snapshot and nothing else; Update
// feeds it on the GUI thread.
class StationModel : public QAbstractListModel {
public:
    enum Role {
        LabelRole = Qt::UserRole + 1,
        PositionRole,
        StateRole, // a Tile::State as int
        UnitRole,
        SerialRole,
        IdentityRole,
        PhaseRole,
        PercentRole,
        ElapsedRole,   // whole seconds
        RemainingRole, // whole seconds, or invalid
        CountdownRole, // whole seconds, or invalid
        VerdictRole,
        ReasonRole,
        HintRole,
        InstructionRole,
        UnitsRole,
        FailuresRole,
        FlaggedRole,
    };

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Takes the tiles of a snapshot: rows for new tiles come after the
    // others (a tile never moves), changed rows are said changed.
    void Update(const std::vector<Tile>& tiles);

private:
    std::vector<Tile> tiles_;
};

} // namespace dedarida
