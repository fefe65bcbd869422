// The main window's start-up, shutdown, commands and connection states.

#include "app/buttonIcons.h"
#include "app/frMain.h"
#include "app/frmAbout.h"
#include "core/basGlobal.h"
#include "core/numberText.h"
#include "core/prompts.h"
#include "core/textFile.h"
#include "link/canFrame.h"
#include "link/connection.h"
#include "link/frmSettings.h"
#include "receive/frDetails.h"
#include "receive/frmComment.h"
#include "receive/monitorHighlight.h"
#include "receive/monitorModel.h"
#include "receive/receivePoll.h"
#include "receive/recordingLimit.h"
#include "receive/tracerView.h"
#include "settings/settingsLocation.h"
#include "transmit/transmitPane.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

namespace korvel {

void frMain::load() {
    initialiseApplication();
    loadSettings();
    loadRememberedDatabases();
    applyViewMode();
    addTxRow();
    showDisconnectedState();
}

void frMain::initialiseApplication() {
    setWindowTitle(QString::fromStdString(applicationTitle()));
    const QString separator = QLocale().decimalPoint();
    const char decimal = separator.isEmpty() ? '.' : separator.at(0).toLatin1();
    std::string iniPath = basGlobal.iniPath.empty() ? settingsFilePath() : basGlobal.iniPath;
    initialiseGlobals(basGlobal, std::move(iniPath), decimal ? decimal : '.');
}

void frMain::loadSettings() {
    std::string error;
    std::optional<IniDocument> ini = IniDocument::read(basGlobal.iniPath, &error);
    if (!ini) {
        prompts().critical(QString::fromStdString(readFailedText(basGlobal.iniPath, error)) +
                           QStringLiteral("\nThe default settings are used."));
        ini.emplace();
    }
    const LoadedPlacement loaded = loadSettingsFrom(*ini, basGlobal);
    loadSentFramesSetting(*ini);
    toolbarAction(QStringLiteral("highlight"))->setChecked(readChangeHighlight(*ini));

    setButtonPicture(QStringLiteral("loop"),
                     basGlobal.hasOption(optLoop) ? QStringLiteral("loopon") : QStringLiteral("loop"));
    setStatusText(4, basGlobal.hasOption(optListenOnly) ? QStringLiteral("Listen Only")
                                                        : QStringLiteral("Normal Mode"));
    setStatusText(3, QString::fromStdString(filterStateText(basGlobal.options)));

    if (loaded.hasPosition) {
        const WindowPlacement& p = loaded.placement;
        QList<QRect> workAreas;
        if (const QScreen* primary = QGuiApplication::primaryScreen())
            workAreas.push_back(primary->availableGeometry());
        for (const QScreen* screen : QGuiApplication::screens())
            workAreas.push_back(screen->availableGeometry());
        if (!workAreas.isEmpty())
            setGeometry(
                placementRect(p, logicalDpiY(), workAreas, minimumSizeHint().expandedTo(minimumSize())));
        if (p.windowState == 2)
            setWindowState(Qt::WindowMaximized);
        else if (p.windowState == 1)
            setWindowState(Qt::WindowMinimized);
    }

    basGlobal.splitPosition = resolveSplit(loaded.split, freeHeightTwips());
    applyPaneSwitches();
}

void frMain::saveSettings() {
    WindowPlacement placement;
    placement.windowState = isMaximized() ? 2 : (isMinimized() ? 1 : 0);
    QRect normal = geometry();
    if (placement.windowState != 0 && normalGeometry().isValid())
        normal = normalGeometry();
    placement.top = pixelsToTwips(normal.y());
    placement.left = pixelsToTwips(normal.x());
    placement.height = pixelsToTwips(normal.height());
    placement.width = pixelsToTwips(normal.width());

    // A file that exists but could not be read is not replaced: it may hold more than this program knows.
    std::string error;
    std::optional<IniDocument> ini = IniDocument::read(basGlobal.iniPath, &error);
    if (ini) {
        saveSettingsTo(*ini, basGlobal, placement);
        saveSentFramesSetting(*ini);
        writeChangeHighlight(*ini, monitorModel_->changeHighlight());
        if (ini->save(basGlobal.iniPath, &error))
            return;
    }
    prompts().critical(QString::fromStdString(saveFailedText(basGlobal.iniPath, error)));
}

void frMain::applyViewMode() {
    const bool tracerView = basGlobal.hasOption(optTracerMode);
    tracerPane_->setVisible(tracerView);
    imgReceiveHeader->setPixmap(
        buttonIcon(tracerView ? QStringLiteral("tracer_header") : QStringLiteral("receive"))
            .pixmap(QSize(120, 18)));
    for (const char* key : {"record", "step", "play", "loop"})
        toolbarAction(QString::fromLatin1(key))->setVisible(tracerView);
    showMonitorTools(!tracerView);
    setButtonPicture(QStringLiteral("record"),
                     basGlobal.isRecording ? QStringLiteral("pause") : QStringLiteral("record"));
    mnuTracer->setText(tracerView ? QStringLiteral("Monitor") : QStringLiteral("Tracer"));
    setButtonPicture(QStringLiteral("tracer"),
                     tracerView ? QStringLiteral("monitor") : QStringLiteral("tracer"));
    lblReceive->setText(tracerView ? QStringLiteral("Receive (Tracer)")
                                   : QStringLiteral("Receive (Monitor)"));
    update();
}

void frMain::mnuTracerClick() {
    if (basGlobal.hasOption(optTracerMode)) {
        basGlobal.setOption(optTracerMode, false);
        basGlobal.isRecording = false;
        enableReplayButtons();
    } else {
        basGlobal.setOption(optTracerMode, true);
    }
    applyViewMode();
}

void frMain::toggleLoop() {
    const bool on = !basGlobal.hasOption(optLoop);
    basGlobal.setOption(optLoop, on);
    setButtonPicture(QStringLiteral("loop"), on ? QStringLiteral("loopon") : QStringLiteral("loop"));
}

void frMain::showConnectedState() {
    basGlobal.isConnected = true;
    toolbarAction(QStringLiteral("record"))->setEnabled(true);
    if (!basGlobal.hasOption(optListenOnly)) {
        for (const char* key : {"step", "play", "loop"})
            toolbarAction(QString::fromLatin1(key))->setEnabled(true);
        transmitPane_->setSendButtonsEnabled(true);
    }
    setStatusText(1, QStringLiteral("Connected to ") +
                         QString::fromStdString(bitrateName(basGlobal.canBitrateIndex)));
    mnuSettings->setEnabled(false);
    toolbarAction(QStringLiteral("settings"))->setEnabled(false);
    mnuConnect->setText(QStringLiteral("Disconnect"));
    setButtonPicture(QStringLiteral("connect"), QStringLiteral("disconnect"));
    startBusStatistics();
}

void frMain::showDisconnectedState() {
    basGlobal.isConnected = false;
    for (const char* key : {"record", "step", "play", "loop"})
        toolbarAction(QString::fromLatin1(key))->setEnabled(false);
    transmitPane_->setSendButtonsEnabled(false);
    setButtonPicture(QStringLiteral("connect"), QStringLiteral("connect"));
    toolbarAction(QStringLiteral("settings"))->setEnabled(true);
    mnuSettings->setEnabled(true);
    mnuConnect->setText(QStringLiteral("Connect"));
    setStatusText(1, QStringLiteral("Not Connected"));
    setStatusText(2, QString());
    stopBusStatistics();
}

void frMain::runToolbarCommand(const QString& key) {
    using Handler = void (frMain::*)();
    static const std::pair<const char*, Handler> commands[] = {
        {"connect", &frMain::connectCommand},   {"reset", &frMain::resetCommand},
        {"settings", &frMain::settingsCommand}, {"filter", &frMain::filterCommand},
        {"clear", &frMain::clearReceiveView},   {"details", &frMain::toggleDetailsWindow},
        {"copy", &frMain::copyToTxList},        {"tracer", &frMain::mnuTracerClick},
        {"record", &frMain::toggleRecording},   {"step", &frMain::stepReplay},
        {"play", &frMain::togglePlay},          {"loop", &frMain::toggleLoop},
    };
    if (key == QLatin1String("plot")) {
        openPlot();
        return;
    }
    if (key == QLatin1String("statistics"))
        toggleBusStatisticsWindow();
    else if (key == QLatin1String("sent"))
        toggleShowSentFrames();
    for (const auto& [name, handler] : commands) {
        if (key == QLatin1String(name)) {
            (this->*handler)();
            return;
        }
    }
}

void frMain::showAbout() {
    frmAbout about(this);
    about_ = &about;
    about.exec();
}

// Commands whose work arrives with the link, receive, transmit and file features.
void frMain::connectCommand() {
    link_->connectCommand();
    // A Quit that came during the sequence's waits ended the sequence; the window closes now it is over.
    if (closeAfterConnecting_) {
        closeAfterConnecting_ = false;
        close();
    }
}

void frMain::resetCommand() {
    link_->resetLink();
}

void frMain::settingsCommand() {
    // The sequence reads the settings step by step and owns the port it is opening.
    if (link_->isConnecting())
        return;
    const QString openPort =
        link_->transport().isSerialOpen() ? serialPortName(basGlobal.comPort) : QString();
    frmSettings dialog(
        basGlobal, fillDeviceList(openPort), [this](const QString& text) { setStatusText(4, text); }, this);
    dialog.exec();
}

void frMain::toggleRecording() {
    if (!basGlobal.isRecording && tracerRecordingRoom() == RecordingRoom::full) {
        prompts().critical(QString::fromStdString(recordingFullText(basGlobal.recordingLimitBytes)));
        return;
    }
    basGlobal.isRecording = !basGlobal.isRecording;
    if (basGlobal.isRecording) {
        setButtonPicture(QStringLiteral("record"), QStringLiteral("pause"));
        toolbarAction(QStringLiteral("step"))->setEnabled(false);
        toolbarAction(QStringLiteral("play"))->setEnabled(false);
    } else {
        setButtonPicture(QStringLiteral("record"), QStringLiteral("record"));
        if (!basGlobal.hasOption(optListenOnly)) {
            toolbarAction(QStringLiteral("step"))->setEnabled(true);
            toolbarAction(QStringLiteral("play"))->setEnabled(true);
        }
    }
}

void frMain::closeEvent(QCloseEvent* event) {
    if (link_->isConnecting()) {
        // The sequence is still on the stack below this event: it is ended, and the window closes once it
        // has unwound, so the link is closed and the settings are saved once, after it.
        closeAfterConnecting_ = true;
        link_->cancelConnecting();
        event->ignore();
        return;
    }
    if (!closing_) {
        closing_ = true;
        link_->disconnectLink();
        saveSettings();
        closeSecondaryWindows();
    }
    event->accept();
}

} // namespace korvel
