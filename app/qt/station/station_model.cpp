#include "app/qt/station/station_model.h"

#include <algorithm>

namespace dedarida {

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

QVariant Seconds(const std::optional<int>& seconds) {
    return seconds ? QVariant(*seconds) : QVariant();
}

} // namespace

int StationModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(tiles_.size());
}

QVariant StationModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Tile& tile = tiles_[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case LabelRole:
        return Text(tile.label);
    case PositionRole:
        return Text(tile.position);
    case StateRole:
        return static_cast<int>(tile.state);
    case UnitRole:
        return tile.unit;
    case SerialRole:
        return Text(tile.serial);
    case IdentityRole:
        return Text(tile.identity);
    case PhaseRole:
        return Text(tile.phase);
    case PercentRole:
        return tile.percent;
    case ElapsedRole:
        return tile.elapsed;
    case RemainingRole:
        return Seconds(tile.remaining);
    case CountdownRole:
        return Seconds(tile.countdown);
    case VerdictRole:
        return Text(tile.verdict);
    case ReasonRole:
        return Text(tile.reason);
    case HintRole:
        return Text(tile.hint);
    case InstructionRole:
        return Text(tile.instruction);
    case UnitsRole:
        return tile.units;
    case FailuresRole:
        return tile.failures;
    case FlaggedRole:
        return tile.flagged;
    default:
        return {};
    }
}

QHash<int, QByteArray> StationModel::roleNames() const {
    return {{Qt::DisplayRole, "display"}, {LabelRole, "label"},
            {PositionRole, "position"},   {StateRole, "state"},
            {UnitRole, "unit"},           {SerialRole, "serial"},
            {IdentityRole, "identity"},   {PhaseRole, "phase"},
            {PercentRole, "percent"},     {ElapsedRole, "elapsed"},
            {RemainingRole, "remaining"}, {CountdownRole, "countdown"},
            {VerdictRole, "verdict"},     {ReasonRole, "reason"},
            {HintRole, "hint"},           {InstructionRole, "instruction"},
            {UnitsRole, "units"},         {FailuresRole, "failures"},
            {FlaggedRole, "flagged"}};
}

void StationModel::Update(const std::vector<Tile>& tiles) {
    const std::size_t kept = std::min(tiles.size(), tiles_.size());
    for (std::size_t row = 0; row < kept; ++row) {
        if (tiles[row] == tiles_[row])
            continue;
        tiles_[row] = tiles[row];
        const QModelIndex changed = index(static_cast<int>(row));
        emit dataChanged(changed, changed);
    }
    if (tiles.size() > tiles_.size()) {
        beginInsertRows({}, static_cast<int>(tiles_.size()), static_cast<int>(tiles.size()) - 1);
        tiles_.insert(tiles_.end(), tiles.begin() + static_cast<std::ptrdiff_t>(tiles_.size()),
                      tiles.end());
        endInsertRows();
    }
}

} // namespace dedarida
