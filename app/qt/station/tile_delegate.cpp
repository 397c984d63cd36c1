#include "app/qt/station/tile_delegate.h"

#include "app/qt/station/station_model.h"
#include "app/shared/station_board.h"
#include "app/shared/station_texts.h"

#include <QPainter>
#include <algorithm>

namespace dedarida {

namespace {

constexpr int Margin = 4;

QColor Colour(Rgb rgb) {
    return QColor(rgb.red, rgb.green, rgb.blue);
}

QFont Sized(const QFont& base, int pixels, bool bold = false) {
    QFont font = base;
    font.setPixelSize(std::max(pixels, 8));
    font.setBold(bold);
    return font;
}

// Draws `text` in `box`, elided to its width; returns the height it took.
int Write(QPainter& painter, const QRect& box, const QFont& font, const QString& text,
          Qt::Alignment alignment = Qt::AlignLeft) {
    painter.setFont(font);
    const QFontMetrics metrics(font);
    painter.drawText(box.adjusted(0, 0, 0, -(box.height() - metrics.height())),
                     alignment | Qt::AlignTop,
                     metrics.elidedText(text, Qt::ElideRight, box.width()));
    return metrics.height();
}

// Draws `text` in `box` in at most two lines broken between words; returns
// the height it took.
int WriteWrapped(QPainter& painter, const QRect& box, const QFont& font, const QString& text) {
    constexpr int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const QRect lines(box.left(), box.top(), box.width(), 2 * metrics.lineSpacing());
    painter.drawText(lines, flags, text);
    return std::min(metrics.boundingRect(lines, flags, text).height(), lines.height());
}

} // namespace

QSize TileDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
    return cell_;
}

void TileDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
    const auto value = [&](StationModel::Role role) { return index.data(role); };
    const auto text = [&](StationModel::Role role) { return value(role).toString(); };
    const auto state = static_cast<Tile::State>(value(StationModel::StateRole).toInt());
    const TileColours colours = ColoursOf(state);
    const QRect tile = option.rect.adjusted(Margin, Margin, -Margin, -Margin);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->fillRect(tile, Colour(colours.background));
    if (value(StationModel::FlaggedRole).toBool()) {
        painter->setPen(QPen(Colour(FlagColour), 6));
        painter->drawRect(tile.adjusted(3, 3, -3, -3));
    }
    painter->setPen(Colour(colours.text));

    // Sized to the tile's height, and its width so that a line of a wide
    // grid or a single tile is not cut off.
    const int unitSize = std::max(std::min(tile.height() / 14, tile.width() / 28), 10);
    const QFont base = option.font;
    QRect box = tile.adjusted(10, 8, -10, -8);
    const auto line = [&](const QFont& font, const QString& words,
                          Qt::Alignment alignment = Qt::AlignLeft) {
        box.setTop(box.top() + Write(*painter, box, font, words, alignment));
    };

    // Who: the slot, its position, the unit's adapter and device.
    Write(*painter, box, Sized(base, unitSize), text(StationModel::PositionRole), Qt::AlignRight);
    line(Sized(base, unitSize * 3 / 2, true), "Slot " + text(StationModel::LabelRole));
    QStringList who;
    if (const int unit = value(StationModel::UnitRole).toInt();
        unit > 0 && state != Tile::State::Waiting)
        who << QStringLiteral("unit %1").arg(unit);
    if (!text(StationModel::SerialRole).isEmpty())
        who << "serial " + text(StationModel::SerialRole);
    if (!text(StationModel::IdentityRole).isEmpty())
        who << text(StationModel::IdentityRole);
    line(Sized(base, unitSize), who.join(QStringLiteral("  ·  ")));
    box.setTop(box.top() + unitSize / 2);

    const int elapsed = value(StationModel::ElapsedRole).toInt();
    switch (state) {
    case Tile::State::Running:
    case Tile::State::Comeback: {
        line(Sized(base, unitSize * 3 / 2, true), text(StationModel::PhaseRole));
        if (const QVariant countdown = value(StationModel::CountdownRole); countdown.isValid()) {
            line(Sized(base, unitSize * 3, true),
                 QString::fromStdString(ClockText(countdown.toInt())));
            line(Sized(base, unitSize), QStringLiteral("plug it in again to go on"));
            break;
        }
        const int percent = value(StationModel::PercentRole).toInt();
        const QRect bar(box.left(), box.top() + unitSize / 2, box.width(), unitSize * 2);
        painter->fillRect(bar, Qt::white);
        const QRect done(bar.left(), bar.top(), bar.width() * percent / 100, bar.height());
        painter->fillRect(done, Colour(ProgressColour));
        // Dark on the white, white on the blue: legible wherever the bar's end is.
        const QString percentText = QStringLiteral("%1 %").arg(percent);
        const QFont percentFont = Sized(base, unitSize * 3 / 2);
        painter->setPen(Qt::black);
        Write(*painter, bar, percentFont, percentText, Qt::AlignHCenter);
        painter->save();
        painter->setClipRect(done);
        painter->setPen(Qt::white);
        Write(*painter, bar, percentFont, percentText, Qt::AlignHCenter);
        painter->restore();
        painter->setPen(Colour(colours.text));
        box.setTop(bar.bottom() + unitSize);
        QString times = QString::fromStdString(ClockText(elapsed)) + " elapsed";
        if (const QVariant remaining = value(StationModel::RemainingRole); remaining.isValid())
            times += "   " + QString::fromStdString(ClockText(remaining.toInt())) + " left";
        line(Sized(base, unitSize), times);
        break;
    }
    case Tile::State::Passed:
    case Tile::State::Failed:
    case Tile::State::Interrupted:
        line(Sized(base, unitSize * 4, true), text(StationModel::VerdictRole));
        for (const StationModel::Role role : {StationModel::ReasonRole, StationModel::HintRole})
            if (!text(role).isEmpty())
                box.setTop(box.top() +
                           WriteWrapped(*painter, box, Sized(base, unitSize), text(role)));
        line(Sized(base, unitSize * 3 / 2, true), text(StationModel::InstructionRole));
        break;
    case Tile::State::Waiting:
        line(Sized(base, unitSize * 3, true), text(StationModel::InstructionRole));
        break;
    }

    QString counts = QString::fromStdString(UnitsText(value(StationModel::UnitsRole).toUInt(),
                                                      value(StationModel::FailuresRole).toUInt()));
    if (value(StationModel::FlaggedRole).toBool())
        counts += QStringLiteral("  ·  last 3 failed: check the fixture");
    const QFont small = Sized(base, unitSize);
    const QRect foot(tile.left() + 10, tile.bottom() - 8 - QFontMetrics(small).height(),
                     tile.width() - 20, QFontMetrics(small).height());
    Write(*painter, foot, small, counts);
    painter->restore();
}

} // namespace dedarida
