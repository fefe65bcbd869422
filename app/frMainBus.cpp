// The main window's view of the bus as a whole: the bus statistics (their window and the status bar's
// figure) and the frames Korvel sends, shown beside the received ones while "Show Sent Frames" is on.

#include "app/frMain.h"
#include "core/basGlobal.h"
#include "core/iniFile.h"
#include "link/canInterfaceBitrate.h"
#include "link/connection.h"
#include "link/socketCan.h"
#include "link/transport.h"
#include "receive/busStatistics.h"
#include "receive/canErrorFrame.h"
#include "receive/comments.h"
#include "receive/frBusStatistics.h"
#include "receive/monitorModel.h"
#include "receive/sentFrames.h"
#include "receive/tracerLine.h"
#include "receive/tracerView.h"
#include "traces/traceLine.h"

#include <QAction>
#include <QLabel>
#include <QStatusBar>
#include <QTime>
#include <QTimer>

#include <cmath>

namespace korvel {

namespace {

constexpr const char* kSentFramesSection = "SentFrames";
constexpr const char* kSentFramesKey = "Show";

// The Tracer time of a sent frame. The PEAK kind and CAN interfaces time their frames by the PC clock, so a
// sent frame takes its own time on it; an adapter's clock cannot be read, so there it takes the newest
// line's time and keeps its place in the order.
std::string sentLineTime(const LinkTransport& transport, const TracerView& tracer) {
    const CanLink* link = transport.link();
    if (link != nullptr && !link->adapterTimes()) {
        const int64_t ms = QTime::currentTime().msecsSinceStartOfDay();
        return std::string(timestampText(ms % 100000, basGlobal.decimalSeparator).view());
    }
    const int lines = tracer.lineCount();
    for (int i = lines - 1; i >= 0 && i >= lines - 2; --i) {
        const std::string line = tracer.lineText(i);
        if (const std::string_view time = tracerLineTime(line); !time.empty())
            return std::string(time);
    }
    return std::string(timestampText(0, basGlobal.decimalSeparator).view());
}

} // namespace

void frMain::setUpBusStatistics() {
    busStatistics_ = std::make_unique<BusStatistics>();
    lblBusStatistics = new QLabel;
    lblBusStatistics->setObjectName(QStringLiteral("lblBusStatistics"));
    lblBusStatistics->setAccessibleName(QStringLiteral("Bus statistics"));
    lblBusStatistics->setToolTip(QStringLiteral("Frames per second received and sent, and the bus load"));
    lblBusStatistics->setFrameShape(QFrame::StyledPanel);
    lblBusStatistics->setFrameShadow(QFrame::Sunken);
    statusBar()->addPermanentWidget(lblBusStatistics, 0);
    lblBusStatistics->hide();
    tiStatistics = new QTimer(this);
    tiStatistics->setObjectName(QStringLiteral("tiStatistics"));
    tiStatistics->setInterval(500);
    connect(tiStatistics, &QTimer::timeout, this, &frMain::refreshBusStatistics);
    QAction* sent = toolbarAction(QStringLiteral("sent"));
    sent->setCheckable(true);
    sent->setChecked(showSentFrames_);
}

void frMain::startBusStatistics() {
    BusAbilities abilities;
    // A CAN interface runs at the bitrate the system gave it: the kernel is asked.
    if (const CanLink* link = link_->transport().link()) {
        abilities.bitrate = link->bitrateFromSystem() ? canInterfaceBitrate(basGlobal.comPort)
                                                      : bitrateOfIndex(basGlobal.canBitrateIndex);
        // Error frames come from the kernel, through the CAN interface's socket.
        abilities.errorFrames = link_->transport().socketCan() != nullptr;
        abilities.droppedFrames = link->countsDroppedFrames();
    }
    busStatistics_->reset(abilities);
    if (SocketCanLink* socket = link_->transport().socketCan()) {
        socket->setErrorFrameHandler([this](const CanWireFrame& frame) {
            if (const auto report = decodeCanErrorFrame(frame))
                busStatistics_->countErrorFrame(report->overrun, report->state, report->txErrors,
                                                report->rxErrors, report->words);
        });
    }
    lblBusStatistics->show();
    tiStatistics->start();
    refreshBusStatistics();
}

void frMain::stopBusStatistics() {
    if (!tiStatistics)
        return;
    tiStatistics->stop();
    lblBusStatistics->hide();
}

void frMain::refreshBusStatistics() {
    if (basGlobal.isConnected && busStatistics_->abilities().droppedFrames) {
        const LinkTransport& transport = link_->transport();
        // Frames a full receive queue had no room for; on the adapters, damaged lines that were dropped.
        const SocketCanLink* socket = transport.socketCan();
        busStatistics_->setDroppedFrames(socket ? socket->droppedReceived() : transport.counters().malformed);
    }
    const BusFigures figures = busStatistics_->sample();
    lblBusStatistics->setText(QString::fromStdString(compactBusText(figures)));
    if (statisticsWindow_)
        statisticsWindow_->showFigures(figures);
}

frBusStatistics* frMain::busStatisticsWindow() const {
    return statisticsWindow_;
}

void frMain::toggleBusStatisticsWindow() {
    if (statisticsWindow_ && statisticsWindow_->isVisible()) {
        statisticsWindow_->close();
        return;
    }
    if (!statisticsWindow_) {
        statisticsWindow_ = new frBusStatistics(this);
        statisticsWindow_->setAttribute(Qt::WA_DeleteOnClose);
    }
    refreshBusStatistics();
    statisticsWindow_->show();
    statisticsWindow_->raise();
}

void frMain::toggleShowSentFrames() {
    showSentFrames_ = !showSentFrames_;
    toolbarAction(QStringLiteral("sent"))->setChecked(showSentFrames_);
}

void frMain::loadSentFramesSetting(const IniDocument& ini) {
    const auto value = ini.value(kSentFramesSection, kSentFramesKey);
    showSentFrames_ = value && *value == "1";
    if (QAction* sent = toolbarAction(QStringLiteral("sent")))
        sent->setChecked(showSentFrames_);
}

void frMain::saveSentFramesSetting(IniDocument& ini) const {
    // A settings file that never had the section stays as it was while the option is off.
    if (showSentFrames_ || ini.value(kSentFramesSection, kSentFramesKey))
        ini.setValue(kSentFramesSection, kSentFramesKey, showSentFrames_ ? "1" : "0");
}

void frMain::frameSent(const CanFrame& frame) {
    busStatistics_->countSent(canFrameWireBits(frame));
    if (!showSentFrames_)
        return;
    static CommentIndex comments;
    comments.setList(basGlobal.commentListText);
    std::string comment;
    frameComment(frame.idText.view(), frame.dataText.view(), comments, basGlobal.options, comment);
    // Where the received frames go now: the Tracer while it records, the Monitor otherwise.
    if (basGlobal.isRecording) {
        std::string line;
        appendTracerLine(line, frame, sentLineTime(link_->transport(), *tracerView_),
                         sentFrameComment(comment));
        tracerView_->appendTracerText(line);
        watchRecordingRoom();
    } else {
        monitorModel_->addSentFrame(frame, std::llround(clockSeconds() * 1000.0), sentFrameComment(comment));
    }
}

void frMain::traceFrameSent(const TraceFrame& frame) {
    std::string dataText = frame.isRemote ? std::string("RTR") : std::string();
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (int i = 0; !frame.isRemote && i < frame.dlc; ++i) {
        if (i > 0)
            dataText += ' ';
        dataText += kHex[frame.data[static_cast<std::size_t>(i)] >> 4];
        dataText += kHex[frame.data[static_cast<std::size_t>(i)] & 0x0F];
    }
    frameSent(sentFrameFromRow(frame.idText, std::to_string(frame.dlc), dataText));
}

} // namespace korvel
