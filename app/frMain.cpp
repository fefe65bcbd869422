#include "app/frMain.h"

#include "core/basGlobal.h"
#include "app/buttonIcons.h"
#include "app/paneSplitter.h"
#include "link/connection.h"
#include "receive/frDetails.h"
#include "receive/frmComment.h"
#include "receive/monitorModel.h"
#include "receive/receivePoll.h"
#include "receive/tracerEdit.h"
#include "receive/tracerLine.h"
#include "receive/tracerView.h"
#include "traces/replay.h"
#include "transmit/txListModel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
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
};

template <typename W> W* named(W* widget, const char* name, const QString& accessibleName = {}) {
    widget->setObjectName(QString::fromLatin1(name));
    if (!accessibleName.isEmpty())
        widget->setAccessibleName(accessibleName);
    return widget;
}

QLineEdit* field(const char* name, const QString& label, int maxLength, int widthChars) {
    auto* edit = named(new QLineEdit, name, label);
    edit->setMaxLength(maxLength);
    if (widthChars > 0)
        edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QString(widthChars, QLatin1Char('0'))) +
                            16);
    return edit;
}

QTableView* reportList(const char* name, const QString& accessibleName) {
    auto* list = named(new QTableView, name, accessibleName);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
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
    txListModel_ = new TxListModel(this);

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
    linkWindow.stopTransmitTimers = [] {
    };
    linkWindow.clearMonitor = [this] {
        monitorModel_->clear();
    };
    linkWindow.resetTransmitCounts = [this] {
        txListModel_->setAllCounts("0");
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

    setUpReceive();
    setUpReplay();
    setUpLayout();
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
    mnuQuit = mnuFile->addAction(QStringLiteral("Quit"));
    mnuQuit->setObjectName(QStringLiteral("mnuQuit"));
    connect(mnuQuit, &QAction::triggered, this, &QWidget::close);

    mnuConnect = top("mnuConnect", "Connect", &frMain::connectCommand);
    mnuReset = top("mnuReset", "Reset", &frMain::resetCommand);
    mnuSettings = top("mnuSettings", "Settings", &frMain::settingsCommand);
    mnuFilter = top("mnuFilter", "Filter", &frMain::filterCommand);
    mnuTracer = top("mnuTracer", "Tracer", &frMain::mnuTracerClick);

    mnuHelp = menuBar()->addMenu(QStringLiteral("?"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuAbout = entry(mnuHelp, "mnuAbout", "About", &frMain::showAbout);
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
        toolbarActions_[key] = action;
        setButtonPicture(key, key);
    }
}

void frMain::buildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setSizeGripEnabled(true);
    const int stretch[] = {3, 3, 2, 2};
    for (int i = 0; i < 4; ++i) {
        auto* panel = new QLabel;
        panel->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setMinimumWidth(120);
        bar->addPermanentWidget(panel, stretch[i]);
        statusPanels_[static_cast<std::size_t>(i)] = panel;
    }
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

    listTransmit = reportList("listTransmit", QStringLiteral("Transmit list"));
    listTransmit->setModel(txListModel_);
    const int widths[] = {90, 40, 230, 70, 80};
    for (int c = 0; c < 5; ++c)
        listTransmit->setColumnWidth(c, widths[c]);
    layout->addWidget(listTransmit, 1);

    auto* bottom = new QHBoxLayout;
    frameMessage = named(new QFrame, "frameMessage");
    frameMessage->setFrameShape(QFrame::StyledPanel);
    buildEditor(frameMessage);
    bottom->addWidget(frameMessage, 1);

    frTxButtons = named(new QFrame, "frTxButtons");
    auto* buttons = new QGridLayout(frTxButtons);
    buttons->setContentsMargins(0, 0, 0, 0);
    const auto button = [](const char* name, const char* caption, const char* tip) {
        auto* b = named(new QPushButton(QString::fromLatin1(caption)), name, QString::fromLatin1(caption));
        b->setToolTip(QString::fromLatin1(tip));
        return b;
    };
    cmdTransmitAdd = button("cmdTransmitAdd", "Add", "Add new message");
    cmdTransmitCopy = button("cmdTransmitCopy", "Copy", "Copy selected message");
    cmdTransmitDel = button("cmdTransmitDel", "Delete", "Delete selected message");
    cmdSend = button("cmdSend", "Single Shot", "Send selected TX message one time");
    cmdResumeAll = button("cmdResumeAll", "Send All", "Send all periodic TX messages");
    cmdStopAll = button("cmdStopAll", "Stop All", "Stop all TX messages");
    buttons->addWidget(cmdTransmitAdd, 0, 0);
    buttons->addWidget(cmdTransmitCopy, 1, 0);
    buttons->addWidget(cmdTransmitDel, 2, 0);
    buttons->addWidget(cmdSend, 0, 1);
    buttons->addWidget(cmdResumeAll, 1, 1);
    buttons->addWidget(cmdStopAll, 2, 1);
    bottom->addWidget(frTxButtons, 0, Qt::AlignTop);
    layout->addLayout(bottom);

    connect(cmdTransmitAdd, &QPushButton::clicked, this, &frMain::addTxRow);
    connect(cmdSend, &QPushButton::clicked, this, [this] {
        const QModelIndex current = listTransmit->currentIndex();
        if (current.isValid())
            transmitRow(current.row() + 1);
    });

    connectPaneSwitch(imgTxFull, optTxPaneFull, true);
    connectPaneSwitch(imgTxHalf, optTxPaneFull, false);
}

void frMain::connectPaneSwitch(QToolButton* button, int32_t option, bool on) {
    connect(button, &QToolButton::clicked, this, [this, option, on] {
        basGlobal.setOption(option, on);
        applyPaneSwitches();
    });
}

void frMain::buildEditor(QFrame* editor) {
    auto* grid = new QGridLayout(editor);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    const auto label = [](const char* text) {
        return new QLabel(QString::fromLatin1(text));
    };

    txtID = field("txtID", QStringLiteral("ID"), 3, 8);
    chExtID = named(new QCheckBox(QStringLiteral("29 Bit Id")), "chExtID", QStringLiteral("29 Bit Id"));
    chRTR = named(new QCheckBox(QStringLiteral("RTR")), "chRTR", QStringLiteral("RTR"));
    txtDLC = field("txtDLC", QStringLiteral("DLC"), 1, 1);
    auto* bytes = new QHBoxLayout;
    bytes->setSpacing(2);
    for (std::size_t k = 0; k < txtByte.size(); ++k) {
        const QByteArray name = "txtByte" + QByteArray::number(static_cast<int>(k));
        txtByte[k] = field(name.constData(), QStringLiteral("Data byte %1").arg(k), 2, 2);
        bytes->addWidget(txtByte[k]);
    }
    bytes->addStretch(1);

    txtPeriod = field("txtPeriod", QStringLiteral("Period (ms)"), 4, 4);
    coTxMode = named(new QComboBox, "coTxMode", QStringLiteral("TX Mode"));
    coTxMode->addItems({QStringLiteral("off"), QStringLiteral("Periodic"), QStringLiteral("RTR"),
                        QStringLiteral("Trigger")});
    txtTxComment = field("txtTxComment", QStringLiteral("Comment"), 32767, 0);
    txtRXID = field("txtRXID", QStringLiteral("Trigger ID"), 8, 8);
    txtRXData = field("txtRXData", QStringLiteral("Trigger Data"), 23, 0);
    lblDontCare = named(new QLabel(QStringLiteral("* = don't care")), "lblDontCare");

    grid->addWidget(label("ID"), 0, 0);
    auto* idRow = new QHBoxLayout;
    idRow->addWidget(txtID);
    idRow->addWidget(chExtID);
    idRow->addWidget(chRTR);
    idRow->addSpacing(8);
    idRow->addWidget(label("DLC"));
    idRow->addWidget(txtDLC);
    idRow->addSpacing(8);
    idRow->addWidget(label("Data"));
    idRow->addLayout(bytes, 1);
    grid->addLayout(idRow, 0, 1, 1, 3);

    grid->addWidget(label("Period (ms)"), 1, 0);
    auto* modeRow = new QHBoxLayout;
    modeRow->addWidget(txtPeriod);
    modeRow->addSpacing(8);
    modeRow->addWidget(label("TX Mode"));
    modeRow->addWidget(coTxMode);
    modeRow->addSpacing(8);
    modeRow->addWidget(label("Comment"));
    modeRow->addWidget(txtTxComment, 1);
    grid->addLayout(modeRow, 1, 1, 1, 3);

    grid->addWidget(label("Trigger ID"), 2, 0);
    auto* triggerRow = new QHBoxLayout;
    triggerRow->addWidget(txtRXID);
    triggerRow->addSpacing(8);
    triggerRow->addWidget(label("Trigger Data"));
    triggerRow->addWidget(txtRXData, 1);
    triggerRow->addWidget(lblDontCare);
    grid->addLayout(triggerRow, 2, 1, 1, 3);
    grid->setColumnStretch(3, 1);
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
