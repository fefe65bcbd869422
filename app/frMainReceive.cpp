// The main window's receive side: the poll timer, the Monitor and Tracer commands, the details and comment
// windows, the filter dialog and the comment list files.

#include "app/frMain.h"
#include "core/basGlobal.h"
#include "core/iniFile.h"
#include "core/prompts.h"
#include "core/textFile.h"
#include "filters/frmFilter.h"
#include "link/connection.h"
#include "link/transport.h"
#include "plots/plotWindows.h"
#include "receive/busStatistics.h"
#include "receive/commentFile.h"
#include "receive/frDetails.h"
#include "receive/frmComment.h"
#include "receive/monitorFold.h"
#include "receive/monitorHighlight.h"
#include "receive/monitorModel.h"
#include "receive/receivePoll.h"
#include "receive/recordingLimit.h"
#include "receive/tracerView.h"
#include "transmit/transmitList.h"
#include "transmit/transmitPane.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QTableView>
#include <QTimer>

namespace korvel {

void frMain::setUpReceive() {
    tracerView_ = new TracerView(txtTracer);

    ReceiveHooks hooks;
    hooks.answerRemoteRequest = [this](std::string_view idText) {
        transmitPane_->list().answerRemoteRequest(idText);
    };
    hooks.checkTriggers = [this](std::string_view idText, std::string_view dataText) {
        transmitPane_->list().checkTriggers(idText, dataText);
    };
    hooks.appendTracerText = [this](std::string_view text) {
        tracerView_->appendTracerText(text);
        watchRecordingRoom();
    };
    hooks.refreshDetails = [this] {
        refreshDetails(details_, *monitorModel_, selectedMonitorRow(), basGlobal.hasOption(optTracerMode));
    };
    hooks.hostSeconds = monotonicSeconds;
    hooks.frameRefused = [this](int tag) {
        transmitPane_->list().uncountRefusedFrame(tag);
    };
    setUpPlots();
    hooks.frameAccepted = [this](const CanFrame& frame) {
        PlotHub& hub = plots_->hub();
        if (!hub.active())
            return;
        // Frames of the ASCII adapters carry the adapter's time only while its time stamps are on.
        const CanLink* link = link_->transport().link();
        const bool stamped = (link != nullptr && !link->adapterTimes()) || basGlobal.hasOption(optTimestamp);
        hub.frameReceived(frame, stamped, clockSeconds());
    };
    hooks.frameOnBus = [this](const CanFrame& frame) {
        if (busStatistics_)
            busStatistics_->countReceived(frame);
    };
    poll_ = std::make_unique<ReceivePoll>(basGlobal, link_->transport(), *monitorModel_, std::move(hooks));

    connect(tiCAN, &QTimer::timeout, this, &frMain::pollTick);

    connect(listReceive, &QTableView::clicked, this, [this] {
        if (details_ && details_->isVisible())
            openDetails(details_, *monitorModel_, selectedMonitorRow(), basGlobal.iniPath, this,
                        databases_.get());
    });
    monitorViewport_ = listReceive->viewport();
    monitorViewport_->installEventFilter(this);

    connect(tracerView_, &TracerView::frameClicked, this, [this](const QString& id, const QString& data) {
        tracerFrameId_ = id.toStdString();
        tracerFrameData_ = data.toStdString();
        if (details_ && details_->isVisible())
            details_->showTracerFrame(id, data, basGlobal.commentListText);
    });
}

void frMain::setUpPlots() {
    PlotContext context;
    context.tracerLines = [this](const std::function<void(std::string_view)>& visit) {
        tracerView_->lines().forEachLine([&](std::string_view line) {
            visit(line);
            return true;
        });
    };
    context.showTracerLine = [this](int line) {
        tracerView_->selectLine(line);
        tracerView_->focusTracer();
    };
    plots_ = new PlotWindows(std::move(context), this);
}

// The ring size is read as a window opens, so an edited settings file takes effect without a restart.
void frMain::readPlotSettings() {
    const IniDocument ini = IniDocument::load(basGlobal.iniPath);
    plots_->setRingPoints(ringPointsSetting(ini.value("Plots", "RingPoints").value_or(std::string())));
}

void frMain::openPlot() {
    readPlotSettings();
    plots_->open();
}

void frMain::addSignalToPlot(const MessageDef& message, int signalIndex) {
    readPlotSettings();
    plots_->addSignalToPlot(message, signalIndex);
}

void frMain::pollTick() {
    tiCAN->stop();
    if (!poll_->poll()) {
        link_->disconnectLink();
        prompts().critical(QStringLiteral("Disconnected!"));
    }
    showLinkTrouble();
    if (basGlobal.isConnected)
        tiCAN->start();
}

RecordingRoom frMain::tracerRecordingRoom() const {
    return recordingRoom(tracerView_->lines().textBytes(), basGlobal.recordingLimitBytes);
}

void frMain::watchRecordingRoom() {
    const RecordingRoom room = tracerRecordingRoom();
    lblRecordingRoom->setVisible(room != RecordingRoom::plenty);
    if (room == RecordingRoom::plenty)
        return;
    lblRecordingRoom->setText(QString::fromStdString(recordingNearlyFullText(basGlobal.recordingLimitBytes)));
    if (room == RecordingRoom::full && basGlobal.isRecording) {
        // Frames go on to the Monitor; the message waits for the event loop, so the poll is not held.
        toggleRecording();
        QTimer::singleShot(0, this, [] {
            prompts().critical(QString::fromStdString(recordingFullText(basGlobal.recordingLimitBytes)));
        });
    }
}

void frMain::showLinkTrouble() {
    std::string text = linkTroubleText(link_->transport().counters());
    if (text == linkTroubleShown_)
        return;
    linkTroubleShown_ = std::move(text);
    lblLinkTrouble->setText(QString::fromStdString(linkTroubleShown_));
    lblLinkTrouble->setVisible(!linkTroubleShown_.empty());
}

// Here rather than beside the other database work: the details window's headers and the signals headers
// cannot meet in one file.
void frMain::showDatabasesInDetails(const DatabaseSet* databases) {
    if (details_)
        details_->setDatabases(databases);
}

frDetails* frMain::detailsWindow() const {
    return details_;
}

frmComment* frMain::commentWindow() const {
    return comment_;
}

int frMain::selectedMonitorRow() const {
    // The current row is not always selected: focus by Tab makes row 0 current, and Clear removes the
    // selection while new rows may become current.
    const QItemSelectionModel* selection = listReceive->selectionModel();
    const QModelIndex current = selection->currentIndex();
    if (current.isValid() && selection->isRowSelected(current.row(), current.parent()))
        return current.row();
    const QModelIndexList rows = selection->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

bool frMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease && watched == monitorViewport_) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return QMainWindow::eventFilter(watched, event);
        const int commentLeft =
            listReceive->horizontalHeader()->sectionViewportPosition(MonitorModel::colComment);
        if (commentColumnClickOpens(static_cast<int>(mouse->position().x()), commentLeft,
                                    monitorModel_->rowCount())) {
            const QModelIndex index = listReceive->indexAt(mouse->position().toPoint());
            openCommentFor(index.isValid() ? index.row() : selectedMonitorRow());
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frMain::openCommentFor(int row) {
    if (row < 0)
        return;
    if (!comment_) {
        comment_ = new frmComment(
            *monitorModel_, [this] { return selectedMonitorRow(); }, basGlobal, this);
        comment_->setAttribute(Qt::WA_DeleteOnClose);
    }
    comment_->openFor(row);
}

void frMain::clearReceiveView() {
    if (basGlobal.hasOption(optTracerMode)) {
        tracerView_->clearWithQuestion();
        lblRecordingRoom->setVisible(tracerRecordingRoom() != RecordingRoom::plenty);
    } else
        monitorModel_->clear();
}

void frMain::toggleDetailsWindow() {
    if (details_ && details_->isVisible()) {
        details_->close();
        return;
    }
    openDetails(details_, *monitorModel_, selectedMonitorRow(), basGlobal.iniPath, this, databases_.get());
}

void frMain::filterCommand() {
    frmFilter dialog(basGlobal, this);
    connect(&dialog, &QDialog::accepted, this, [this] {
        setStatusText(3, QString::fromStdString(filterStateText(basGlobal.options)));
        link_->applyAcceptanceFilter();
    });
    dialog.exec();
}

void frMain::loadCommentList() {
    // Lists are kept beside the program: the dialog starts there, and so does the current folder.
    const QString folder = QCoreApplication::applicationDirPath();
    QDir::setCurrent(folder);
    const QString file = prompts().openFileName(QStringLiteral("Load Comment List"),
                                                QStringLiteral("Comments (*.cmt)"), folder);
    if (file.isEmpty())
        return;
    basGlobal.lastFileName = file.toStdString();
    std::string error;
    if (!loadCommentListFile(basGlobal.lastFileName, basGlobal.commentListText, &error))
        prompts().critical(QString::fromStdString(readFailedText(basGlobal.lastFileName, error)));
    monitorModel_->setStoredComments(basGlobal.commentListText);
}

void frMain::saveCommentList() {
    QString file =
        prompts().saveFileName(QStringLiteral("Save Comment List"), QStringLiteral("Comments (*.cmt)"));
    if (file.isEmpty())
        return;
    // Without its suffix the file would be hidden by the load dialog's filter. The dialog confirmed the
    // name as typed, so replacing another file under the completed name is asked here.
    if (QFileInfo(file).suffix().isEmpty()) {
        file += QStringLiteral(".cmt");
        if (QFileInfo::exists(file) &&
            !prompts().confirm(QStringLiteral("Save Comment List"),
                               file + QStringLiteral(" already exists.\nDo you want to replace it?"),
                               PromptIcon::question))
            return;
    }
    basGlobal.lastFileName = file.toStdString();
    std::string error;
    if (!saveCommentListFile(basGlobal.lastFileName, basGlobal.commentListText, &error))
        prompts().critical(QString::fromStdString(saveFailedText(basGlobal.lastFileName, error)));
}

void frMain::closeSecondaryWindows() {
    // In this order: the details window stores its position as it closes.
    if (details_)
        details_->close();
    if (comment_)
        comment_->close();
    if (about_)
        about_->close();
}

} // namespace korvel
