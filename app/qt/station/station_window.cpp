#include "app/qt/station/station_window.h"

#include "app/qt/message_box.h"
#include "app/qt/station/station_question.h"
#include "app/qt/station/tile_view.h"
#include "app/shared/station_texts.h"

#include <QCloseEvent>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>

namespace dedarida {

namespace {

using namespace std::chrono_literals;

// Often enough for a countdown and a bar; seldom enough to cost nothing.
constexpr auto RefreshInterval = 250ms;

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// Sets `text` only when it differs, so that an unchanged label is not drawn
// again.
void Show(QLabel& label, const QString& text) {
    if (label.text() != text)
        label.setText(text);
}

QLabel* HeaderLabel(QWidget* parent, int pixels, bool bold) {
    auto* label = new QLabel(parent);
    QFont font = label->font();
    font.setPixelSize(pixels);
    font.setBold(bold);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

StationWindow::StationWindow(StationBoard& board, StationStop& stop)
    : board_(board), stop_(stop), model_(this) {
    setWindowTitle(Caption);
    // Most of the station's screen: 16 tiles are read from a step away.
    if (const QScreen* shown = screen())
        resize(shown->availableGeometry().size() * 0.9);
    auto* layout = new QVBoxLayout(this);
    title_ = HeaderLabel(this, 26, true);
    firmware_ = HeaderLabel(this, 15, false);
    counters_ = HeaderLabel(this, 20, true);
    slots_ = HeaderLabel(this, 14, false);
    slots_->setWordWrap(true);
    notice_ = HeaderLabel(this, 14, false);
    for (QLabel* label : {title_, firmware_, counters_, slots_})
        layout->addWidget(label);
    view_ = new TileView(delegate_, this);
    view_->setModel(&model_);
    layout->addWidget(view_, 1);
    layout->addWidget(notice_);
    refresh_ = new QTimer(this);
    refresh_->setInterval(RefreshInterval);
    connect(refresh_, &QTimer::timeout, this, [this] { Refresh(); });
    refresh_->start();
    Refresh();
}

void StationWindow::Refresh() {
    const BoardSnapshot snapshot = board_.Snapshot();
    model_.Update(snapshot.tiles);
    ShowHeader(snapshot.header, snapshot.tiles);
}

void StationWindow::ShowHeader(const BoardHeader& header, const std::vector<Tile>& tiles) {
    Show(*title_, "Station " + Text(header.info.station));
    Show(*firmware_, Text(FirmwareText(header)));
    Show(*counters_, Text(CountersText(header)));
    Show(*slots_, Text(SlotsText(tiles)));
    if (!stopping_)
        Show(*notice_, Text(header.notice));
}

void StationWindow::StationEnded(const std::string& error) {
    Refresh();
    refresh_->stop();
    ended_ = true;
    // A question still open is moot, and the close below would not get past it.
    DismissQuestion();
    if (!error.empty())
        ShowMessageBox(this, MessageKind::Error, Caption, Text(error));
    close();
}

void StationWindow::closeEvent(QCloseEvent* event) {
    if (ended_) {
        event->accept();
        return;
    }
    event->ignore();
    if (stopping_)
        return;
    const unsigned running = board_.Running();
    const bool stop = running == 0 || AskYesNo(this, Caption, Text(StopQuestion(running)));
    // The station may have ended while the operator was asked.
    if (ended_) {
        event->accept();
        return;
    }
    if (!stop)
        return;
    stopping_ = true;
    Show(*notice_, QStringLiteral("stopping the station: each running unit ends with its record"));
    stop_.Stop();
}

} // namespace dedarida
