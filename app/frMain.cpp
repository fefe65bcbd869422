#include "app/frMain.h"

#include "app/buttonIcons.h"
#include "app/paneSplitter.h"
#include "core/basGlobal.h"
#include "link/connection.h"
#include "receive/busStatistics.h"
#include "receive/frDetails.h"
#include "receive/frmComment.h"
#include "receive/monitorModel.h"
#include "receive/receivePoll.h"
#include "receive/tracerEdit.h"
#include "receive/tracerFindBar.h"
#include "receive/tracerLine.h"
#include "receive/tracerView.h"
#include "traces/replay.h"
#include "transmit/transmitList.h"
#include "transmit/transmitPane.h"

#include <QAction>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace korvel {

namespace {

struct ToolbarKey {
    const char* key;
    const char* tooltip;
};

// The toolbar in its order on the bar; each key's first picture has the same name.
constexpr ToolbarKey kToolbarKeys[] = {
    {"connect", "Connect/Disconnect"},
    {"reset", "Reset"},
    {"settings", "Settings"},
    {"filter", "Filter"},
    {"clear", "Clear Rx-List / Tracer"},
    {"details", "View details of selected message"},
    {"copy", "Copy to TX List"},
    {"tracer", "Tracer / Monitor"},
    {"record", "Record / Pause"},
    {"step", "Single Step"},
    {"play", "Play / Pause"},
    {"loop", "Loop"},
    {"plot", "Plot"},
    {"statistics", "Bus Statistics"},
    {"sent", "Show Sent Frames"},
};

template <typename W> W* named(W* widget, const char* name, const QString& accessibleName = {}) {
    widget->setObjectName(QString::fromLatin1(name));
    if (!accessibleName.isEmpty())
        widget->setAccessibleName(accessibleName);
    return widget;
}

QTableView* reportList(const char* name, const QString& accessibleName) {
    auto* list = named(new QTableView, name, accessibleName);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setTabKeyNavigation(false); // Tab leaves the list, as it leaves any other control
    list->setShowGrid(false);
    list->setWordWrap(false);
    list->setAlternatingRowColors(true);
    list->verticalHeader()->hide();
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 4);
    list->horizontalHeader()->setStretchLastSection(true);
    list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return list;
}

QToolButton* paneButton(const char* name, const QString& tooltip, const QString& glyph) {
    auto* button = named(new QToolButton, name, tooltip);
    button->setToolTip(tooltip);
    button->setText(glyph);
    button->setAutoRaise(true);
    return button;
}

struct PaneHeader {
    QLabel* picture = nullptr;
    QLabel* caption = nullptr;
    QToolButton* full = nullptr;
    QToolButton* half = nullptr;
};

// The strip above a pane's list: its picture and caption, and the buttons that let it fill the window.
PaneHeader addPaneHeader(QVBoxLayout* layout, const QString& pane, const char* pictureName,
                         const char* captionName, const QString& caption, const char* fullName,
                         const char* halfName) {
    PaneHeader h;
    auto* row = new QHBoxLayout;
    h.picture = named(new QLabel, pictureName);
    h.caption = named(new QLabel(caption), captionName);
    QFont bold = h.caption->font();
    bold.setBold(true);
    h.caption->setFont(bold);
    h.full = paneButton(fullName, pane + QStringLiteral(" pane full height"), QStringLiteral("\u25B2"));
    h.half = paneButton(halfName, pane + QStringLiteral(" pane half height"), QStringLiteral("\u25BC"));
    row->addWidget(h.picture);
    row->addWidget(h.caption);
    row->addStretch(1);
    row->addWidget(h.full);
    row->addWidget(h.half);
    layout->addLayout(row);
    return h;
}

} // namespace

frMain::frMain(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frMain"));
    setWindowIcon(buttonIcon(QStringLiteral("korvel")));
    resize(1000, 720);

    monitorModel_ = new MonitorModel(this);

    tiCAN = new QTimer(this);
    tiCAN->setObjectName(QStringLiteral("tiCAN"));
    tiCAN->setInterval(100);

    LinkWindow linkWindow;
    linkWindow.showConnectedState = [this] {
        showConnectedState();
    };
    linkWindow.showDisconnectedState = [this] {
        showDisconnectedState();
    };
    linkWindow.setStatusText = [this](int panel, const QString& text) {
        setStatusText(panel, text);
    };
    // The toolbar's connect button goes with the menu entry, so a click during the sequence cannot start a
    // second one inside the first one's waits.
    linkWindow.setConnectEnabled = [this](bool on) {
        mnuConnect->setEnabled(on);
        toolbarAction(QStringLiteral("connect"))->setEnabled(on);
    };
    linkWindow.setPollTimerEnabled = [this](bool on) {
        on ? tiCAN->start() : tiCAN->stop();
    };
    linkWindow.stopTransmitTimers = [this] {
        transmitPane_->list().stopAllTimers();
    };
    linkWindow.clearMonitor = [this] {
        monitorModel_->clear();
    };
    linkWindow.resetTransmitCounts = [this] {
        transmitPane_->list().resetCounts();
    };
    link_ = std::make_unique<LinkController>(basGlobal, std::move(linkWindow));

    buildMenus();
    buildToolbar();
    buildStatusBar();

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 2, 4, 2);
    splitter_ = named(new PaneSplitter(Qt::Vertical), "splitter");
    frameReceive = named(new QFrame, "frameReceive");
    frameTransmit = named(new QFrame, "frameTransmit");
    buildReceivePane(frameReceive);
    buildTransmitPane(frameTransmit);
    splitter_->addWidget(frameReceive);
    splitter_->addWidget(frameTransmit);
    splitter_->setStretchFactor(0, 1); // a resize goes to the receive pane
    splitter_->setStretchFactor(1, 0);
    splitter_->setChildrenCollapsible(false);
    layout->addWidget(splitter_);
    setCentralWidget(central);

    setUpTransmit();
    setUpReceive();
    setUpMonitorTools();
    setUpReplay();
    setUpLayout();
    buildSignals();
    setUpBusStatistics();
}

frMain::~frMain() = default;

void frMain::buildMenus() {
    const auto entry = [this](QMenu* menu, const char* name, const char* caption, void (frMain::*handler)()) {
        QAction* action = menu->addAction(QString::fromLatin1(caption));
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    const auto top = [this](const char* name, const char* caption, void (frMain::*handler)()) {
        QAction* action = menuBar()->addAction(QString::fromLatin1(caption));
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };

    mnuFile = menuBar()->addMenu(QStringLiteral("File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuSaveRxList = entry(mnuFile, "mnuSaveRxList", "Save Rx List", &frMain::saveRxList);
    mnuFile->addSeparator();
    mnuLoadTrace = entry(mnuFile, "mnuLoadTrace", "Load Trace", &frMain::loadTrace);
    mnuSaveTrace = entry(mnuFile, "mnuSaveTrace", "Save Trace", &frMain::saveTrace);
    mnuFile->addSeparator();
    mnuLoadTxList = entry(mnuFile, "mnuLoadTxList", "Load Tx List", &frMain::loadTxList);
    mnuSaveTxList = entry(mnuFile, "mnuSaveTxList", "Save Tx List", &frMain::saveTxList);
    mnuFile->addSeparator();
    mnuLoadCommentList = entry(mnuFile, "mnuLoadCommentList", "Load Comment List", &frMain::loadCommentList);
    mnuSaveCommentList = entry(mnuFile, "mnuSaveCommentList", "Save Comment List", &frMain::saveCommentList);
    mnuFile->addSeparator();
    mnuLoadDatabase = entry(mnuFile, "mnuLoadDatabase", "Load Database...", &frMain::loadDatabaseCommand);
    mnuRemoveDatabase = mnuFile->addMenu(QStringLiteral("Remove Database"));
    mnuRemoveDatabase->setObjectName(QStringLiteral("mnuRemoveDatabase"));
    mnuRemoveDatabase->setEnabled(false);
    mnuFile->addSeparator();
    mnuQuit = mnuFile->addAction(QStringLiteral("Quit"));
    mnuQuit->setObjectName(QStringLiteral("mnuQuit"));
    connect(mnuQuit, &QAction::triggered, this, &QWidget::close);

    mnuConnect = top("mnuConnect", "Connect", &frMain::connectCommand);
    mnuReset = top("mnuReset", "Reset", &frMain::resetCommand);
    mnuSettings = top("mnuSettings", "Settings", &frMain::settingsCommand);
    mnuFilter = top("mnuFilter", "Filter", &frMain::filterCommand);
    mnuTracer = top("mnuTracer", "Tracer", &frMain::mnuTracerClick);

    mnuView = menuBar()->addMenu(QStringLiteral("View"));
    mnuView->setObjectName(QStringLiteral("mnuView"));
    mnuPlot = entry(mnuView, "mnuPlot", "Plot", &frMain::openPlot);

    mnuHelp = menuBar()->addMenu(QStringLiteral("?"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuAbout = entry(mnuHelp, "mnuAbout", "About", &frMain::showAbout);

    // The entries have no shortcuts or access keys; the desktop's F10 reaches them, as a lone Alt does.
    auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    menuKey->setObjectName(QStringLiteral("menuKey"));
    connect(menuKey, &QShortcut::activated, this, &frMain::toggleMenuBarKeyboard);
}

void frMain::toggleMenuBarKeyboard() {
    // The menu bar watches its window for an Alt pressed and released alone, and then takes (or gives
    // back) the focus for the arrow keys, Enter and Escape.
    QKeyEvent press(QEvent::ShortcutOverride, Qt::Key_Alt, Qt::NoModifier);
    QCoreApplication::sendEvent(this, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Alt, Qt::NoModifier);
    QCoreApplication::sendEvent(this, &release);
}

void frMain::buildToolbar() {
    tbrToolBar = addToolBar(QStringLiteral("Toolbar"));
    tbrToolBar->setObjectName(QStringLiteral("tbrToolBar"));
    tbrToolBar->setMovable(false);
    tbrToolBar->setIconSize(QSize(24, 24));
    for (const ToolbarKey& k : kToolbarKeys) {
        const QString key = QString::fromLatin1(k.key);
        QAction* action = tbrToolBar->addAction(QString::fromLatin1(k.tooltip));
        action->setObjectName(key);
        action->setToolTip(QString::fromLatin1(k.tooltip));
        connect(action, &QAction::triggered, this, [this, key] { runToolbarCommand(key); });
        // Reached by Tab and pressed with Space; a click leaves the focus where it was (in the Tracer,
        // whose caret the replay buttons use).
        tbrToolBar->widgetForAction(action)->setFocusPolicy(Qt::TabFocus);
        toolbarActions_[key] = action;
        setButtonPicture(key, key);
    }
}

void frMain::buildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setSizeGripEnabled(true);
    const auto sunkenPanel = [bar](const QString& name, int stretch) {
        auto* panel = new QLabel;
        panel->setObjectName(name);
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setFrameShadow(QFrame::Sunken);
        bar->addPermanentWidget(panel, stretch);
        return panel;
    };
    const int stretch[] = {3, 3, 2, 2};
    for (int i = 0; i < 4; ++i) {
        QLabel* panel = sunkenPanel(QStringLiteral("Panel%1").arg(i + 1), stretch[i]);
        panel->setMinimumWidth(120);
        statusPanels_[static_cast<std::size_t>(i)] = panel;
    }
    // Shown only once something went wrong, so a sound link and a short recording look as they always did.
    lblLinkTrouble = sunkenPanel(QStringLiteral("lblLinkTrouble"), 0);
    lblLinkTrouble->setAccessibleName(QStringLiteral("Link problems"));
    lblLinkTrouble->setToolTip(QStringLiteral(
        "Since Connect: frames not sent because the adapter could not keep up, frames the adapter refused, "
        "and damaged lines from the adapter, which were dropped"));
    lblLinkTrouble->hide();
    lblRecordingRoom = sunkenPanel(QStringLiteral("lblRecordingRoom"), 0);
    lblRecordingRoom->setAccessibleName(QStringLiteral("Recording limit"));
    lblRecordingRoom->hide();
    setStatusText(1, QStringLiteral("Not Connected"));
    setStatusText(3, QStringLiteral("Filter: Off"));
    setStatusText(4, QStringLiteral("Listen only"));
}

void frMain::buildReceivePane(QWidget* pane) {
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    const PaneHeader header =
        addPaneHeader(layout, QStringLiteral("Receive"), "imgReceiveHeader", "lblReceive",
                      QStringLiteral("Receive (Monitor)"), "imgFull", "imgHalf");
    imgReceiveHeader = header.picture;
    lblReceive = header.caption;
    imgFull = header.full;
    imgHalf = header.half;

    // The Tracer lies over the Monitor list and is shown in the Tracer view only.
    auto* stack = new QGridLayout;
    listReceive = reportList("listReceive", QStringLiteral("Monitor"));
    listReceive->setModel(monitorModel_);
    const int widths[] = {90, 40, 230, 70, 80};
    for (int c = 0; c < 5; ++c)
        listReceive->setColumnWidth(c, widths[c]);
    txtTracer = named(new TracerEdit, "txtTracer", QStringLiteral("Tracer"));
    txtTracer->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // The Tracer's column header, aligned with its fixed-pitch text.
    tracerPane_ = named(new QWidget, "tracerPane");
    // It lies over the Monitor list, which must not show through its find bar.
    tracerPane_->setAutoFillBackground(true);
    auto* tracerLayout = new QVBoxLayout(tracerPane_);
    tracerLayout->setContentsMargins(0, 0, 0, 0);
    tracerLayout->setSpacing(0);
    auto* tracerHeader = named(
        new QLabel(QString::fromLatin1(kTracerHeader.data(), static_cast<qsizetype>(kTracerHeader.size()))),
        "lblTracerHeader");
    tracerHeader->setFont(txtTracer->font());
    tracerHeader->setContentsMargins(txtTracer->frameWidth() + 4, 2, 0, 2);
    tracerHeader->setAutoFillBackground(true);
    tracerHeader->setBackgroundRole(QPalette::Button);
    tracerLayout->addWidget(tracerHeader);
    tracerLayout->addWidget(txtTracer, 1);
    tracerLayout->addWidget(new TracerFindBar(txtTracer));
    tracerPane_->hide();
    stack->addWidget(listReceive, 0, 0);
    stack->addWidget(tracerPane_, 0, 0);
    layout->addLayout(stack, 1);

    connectPaneSwitch(imgFull, optRxPaneFull, true);
    connectPaneSwitch(imgHalf, optRxPaneFull, false);
}

void frMain::buildTransmitPane(QWidget* pane) {
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    const PaneHeader header =
        addPaneHeader(layout, QStringLiteral("Transmit"), "imgTransmitHeader", "lblTransmit",
                      QStringLiteral("Transmit"), "imgTxFull", "imgTxHalf");
    imgTransmitHeader = header.picture;
    imgTransmitHeader->setPixmap(buttonIcon(QStringLiteral("copy")).pixmap(20, 20));
    imgTxFull = header.full;
    imgTxHalf = header.half;

    transmitPane_ = new TransmitPane(basGlobal);
    layout->addWidget(transmitPane_, 1);

    connectPaneSwitch(imgTxFull, optTxPaneFull, true);
    connectPaneSwitch(imgTxHalf, optTxPaneFull, false);
}

void frMain::connectPaneSwitch(QToolButton* button, int32_t option, bool on) {
    connect(button, &QToolButton::clicked, this, [this, option, on] {
        basGlobal.setOption(option, on);
        applyPaneSwitches();
    });
}

QAction* frMain::toolbarAction(const QString& key) const {
    const auto it = toolbarActions_.find(key);
    return it == toolbarActions_.end() ? nullptr : it->second;
}

void frMain::setButtonPicture(const QString& key, const QString& picture) {
    if (QAction* action = toolbarAction(key)) {
        action->setIcon(buttonIcon(picture));
        action->setProperty("picture", picture);
    }
}

void frMain::setStatusText(int panel, const QString& text) {
    if (panel >= 1 && panel <= 4)
        statusPanels_[static_cast<std::size_t>(panel - 1)]->setText(text);
}

QString frMain::statusText(int panel) const {
    if (panel < 1 || panel > 4)
        return {};
    return statusPanels_[static_cast<std::size_t>(panel - 1)]->text();
}

int frMain::pixelsToTwips(int pixels) const {
    const int dpi = logicalDpiY() > 0 ? logicalDpiY() : 96;
    return pixels * 1440 / dpi;
}

int frMain::twipsToPixels(int twips) const {
    const int dpi = logicalDpiY() > 0 ? logicalDpiY() : 96;
    return twips * dpi / 1440;
}

int frMain::freeHeightTwips() const {
    const int free = height() - menuBar()->sizeHint().height() - tbrToolBar->sizeHint().height() -
                     statusBar()->sizeHint().height();
    return pixelsToTwips(free > 0 ? free : 0);
}

} // namespace korvel
