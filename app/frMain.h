#pragma once

// The main window: menu bar, toolbar, four-panel status bar, the receive pane (Monitor list with the Tracer
// over it) above the transmit pane (transmit list, editor, buttons).

#include "receive/recordingLimit.h"
#include "settings/settingsStore.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <map>
#include <memory>
#include <vector>

class QAction;
class QDockWidget;
class QFrame;
class QLabel;
class QMenu;
class QSplitter;
class QTableView;
class QTimer;
class QToolBar;
class QToolButton;

namespace korvel {

class BusStatistics;
class DatabaseSet;
class LinkController;
class PlotWindows;
struct CanFrame;
struct MessageDef;
struct TraceFrame;
class MonitorListTools;
class PaneSplitter;
class MonitorModel;
class ReceivePoll;
class TracerEdit;
class TraceReplay;
class TracerView;
class SignalsView;
class TransmitPane;
class TxListModel;
class frBusStatistics;
class frDetails;
class frmComment;

class frMain final : public QMainWindow {
    Q_OBJECT
public:
    explicit frMain(QWidget* parent = nullptr);
    ~frMain() override;

    // The load event: start-up initialisation, settings, view mode, the default transmit row.
    void load();

    void applyViewMode();
    void showConnectedState();
    void showDisconnectedState();
    void setStatusText(int panel, const QString& text);
    [[nodiscard]] QString statusText(int panel) const;

    // Runs the command of a toolbar key; a key that matches none does nothing.
    void runToolbarCommand(const QString& key);
    // Loads a transmit list file as "Load Tx List" does after its dialog.
    void openTxList(const std::string& path);

    [[nodiscard]] QAction* toolbarAction(const QString& key) const;
    [[nodiscard]] MonitorModel* monitorModel() const { return monitorModel_; }
    [[nodiscard]] TxListModel* txListModel() const;
    [[nodiscard]] TransmitPane* transmitPane() const { return transmitPane_; }
    [[nodiscard]] QTimer* pollTimer() const { return tiCAN; }
    [[nodiscard]] LinkController& link() const { return *link_; }
    [[nodiscard]] ReceivePoll& receivePoll() const { return *poll_; }
    [[nodiscard]] TracerView* tracerView() const { return tracerView_; }
    [[nodiscard]] frDetails* detailsWindow() const;
    [[nodiscard]] frmComment* commentWindow() const;
    [[nodiscard]] PlotWindows& plots() const { return *plots_; }
    // Opens a new plot window (toolbar and View menu).
    void openPlot();
    // For the Signals view: the plot window used last, or a new one, plots the signal.
    void addSignalToPlot(const MessageDef& message, int signalIndex);

    // The CAN databases: "Load Database..." adds one after its dialog, this adds one by name; false when
    // it could not be read (the user was told why). Each load is remembered in the settings file.
    bool loadDatabase(const std::string& path);
    void removeDatabase(int index);
    [[nodiscard]] const DatabaseSet& databases() const { return *databases_; }
    [[nodiscard]] SignalsView* signalsView() const { return signalsView_; }

    // One tick of the poll timer: receive, and on a failure disconnect with "Disconnected!".
    void pollTick();
    // The link's trouble counts in their status bar panel, shown only while one is above 0.
    void showLinkTrouble();
    // After a recording poll: the warning while the Tracer is nearly full, and the stop at its limit.
    void watchRecordingRoom();
    [[nodiscard]] RecordingRoom tracerRecordingRoom() const;

    [[nodiscard]] TracerEdit* tracer() const { return txtTracer; }

    // Bus statistics: counted from the poll and the sends, shown in the status bar and their window.
    [[nodiscard]] BusStatistics& busStatistics() const { return *busStatistics_; }
    [[nodiscard]] frBusStatistics* busStatisticsWindow() const;
    void refreshBusStatistics();
    // A frame Korvel put on the bus: counted, and shown in the Monitor and Tracer while sent frames are.
    void frameSent(const CanFrame& frame);
    [[nodiscard]] bool showsSentFrames() const { return showSentFrames_; }

    // Free height between toolbar and status bar, in twips.
    [[nodiscard]] int freeHeightTwips() const;
    [[nodiscard]] int twipsToPixels(int twips) const;
    [[nodiscard]] int pixelsToTwips(int pixels) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    void buildSignals();
    void loadDatabaseCommand();
    void loadRememberedDatabases();
    void storeDatabaseList();
    void databasesChanging();
    void databasesChanged();
    void showDatabasesInDetails(const DatabaseSet* databases);
    // What F10 does: opens the menu bar for the keyboard, or closes it.
    void toggleMenuBarKeyboard();
    void buildToolbar();
    void buildStatusBar();
    void buildReceivePane(QWidget* pane);
    void buildTransmitPane(QWidget* pane);
    void connectPaneSwitch(QToolButton* button, int32_t option, bool on);

    void initialiseApplication();
    void loadSettings();
    void saveSettings();
    void applyPaneSwitches();
    void applySplit();
    void setUpLayout();
    void splitterDragged();
    [[nodiscard]] int splitterFreePixels() const;

    void connectCommand();
    void resetCommand();
    void settingsCommand();
    void filterCommand();
    void clearReceiveView();
    void toggleDetailsWindow();
    void copyToTxList();
    void toggleRecording();
    void stepReplay();
    void togglePlay();
    void saveRxList();
    void loadTrace();
    void saveTrace();
    void loadTxList();
    void saveTxList();
    void loadCommentList();
    void saveCommentList();
    void showAbout();
    void mnuTracerClick();
    void toggleLoop();
    void addTxRow();
    void closeSecondaryWindows();
    void setUpReceive();
    void setUpPlots();
    void readPlotSettings();
    void setUpReplay();
    void showReplayIdle();
    void enableReplayButtons();
    void setUpTransmit();
    [[nodiscard]] int selectedMonitorRow() const;
    void setUpMonitorTools();
    // The find box and the highlighting switch belong to the Monitor view.
    void showMonitorTools(bool shown);
    void openCommentFor(int row);
    void setButtonPicture(const QString& key, const QString& picture);
    void setUpBusStatistics();
    void startBusStatistics();
    void stopBusStatistics();
    void toggleBusStatisticsWindow();
    void toggleShowSentFrames();
    void loadSentFramesSetting(const IniDocument& ini);
    void saveSentFramesSetting(IniDocument& ini) const;
    void traceFrameSent(const TraceFrame& frame);

    // Menus
    QMenu* mnuFile = nullptr;
    QAction* mnuSaveRxList = nullptr;
    QAction* mnuLoadTrace = nullptr;
    QAction* mnuSaveTrace = nullptr;
    QAction* mnuLoadTxList = nullptr;
    QAction* mnuSaveTxList = nullptr;
    QAction* mnuLoadCommentList = nullptr;
    QAction* mnuSaveCommentList = nullptr;
    QAction* mnuLoadDatabase = nullptr;
    QMenu* mnuRemoveDatabase = nullptr;
    QAction* mnuSignalsView = nullptr;
    QAction* mnuQuit = nullptr;
    QAction* mnuConnect = nullptr;
    QAction* mnuReset = nullptr;
    QAction* mnuSettings = nullptr;
    QAction* mnuFilter = nullptr;
    QAction* mnuTracer = nullptr;
    QMenu* mnuView = nullptr;
    QAction* mnuPlot = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuAbout = nullptr;

    // Toolbar and status bar
    QToolBar* tbrToolBar = nullptr;
    std::map<QString, QAction*> toolbarActions_;
    std::array<QLabel*, 4> statusPanels_{};
    QLabel* lblLinkTrouble = nullptr;
    QLabel* lblRecordingRoom = nullptr;
    std::string linkTroubleShown_;

    // Receive pane
    PaneSplitter* splitter_ = nullptr;
    QFrame* frameReceive = nullptr;
    QLabel* imgReceiveHeader = nullptr;
    QLabel* lblReceive = nullptr;
    QToolButton* imgFull = nullptr;
    QToolButton* imgHalf = nullptr;
    QTableView* listReceive = nullptr;
    TracerEdit* txtTracer = nullptr;
    QWidget* tracerPane_ = nullptr;

    // Transmit pane
    QFrame* frameTransmit = nullptr;
    QLabel* imgTransmitHeader = nullptr;
    QToolButton* imgTxFull = nullptr;
    QToolButton* imgTxHalf = nullptr;
    TransmitPane* transmitPane_ = nullptr;

    QTimer* tiCAN = nullptr;

    std::unique_ptr<LinkController> link_;
    std::unique_ptr<ReceivePoll> poll_;
    TracerView* tracerView_ = nullptr;
    std::unique_ptr<TraceReplay> replay_;
    QObject* monitorViewport_ = nullptr;
    QPointer<frDetails> details_;
    QPointer<frmComment> comment_;
    QPointer<QWidget> about_;
    PlotWindows* plots_ = nullptr;
    MonitorModel* monitorModel_ = nullptr;
    // Deleted where the signals headers are included: their names clash with the details window's.
    struct DatabaseSetDeleter {
        void operator()(DatabaseSet* set) const;
    };
    std::unique_ptr<DatabaseSet, DatabaseSetDeleter> databases_;
    QDockWidget* dockSignals = nullptr;
    SignalsView* signalsView_ = nullptr;
    std::string tracerFrameId_; // the Tracer line last clicked, which the Signals view shows in that view
    std::string tracerFrameData_;
    std::unique_ptr<BusStatistics> busStatistics_;
    QPointer<frBusStatistics> statisticsWindow_;
    QLabel* lblBusStatistics = nullptr;
    QTimer* tiStatistics = nullptr;
    bool showSentFrames_ = false;
    MonitorListTools* monitorTools_ = nullptr;
    std::vector<QAction*> monitorToolActions_;
    bool closing_ = false;
    bool closeAfterConnecting_ = false;
};

} // namespace korvel
