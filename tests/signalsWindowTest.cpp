// The signal windows: databases loaded, remembered and removed, the message name and tooltip in the Monitor,
// the Signals view, the details window's signals and filling a transmit row from signal values.

#include "app/frMain.h"
#include "core/iniFile.h"
#include "receive/monitorModel.h"
#include "signals/databaseList.h"
#include "signals/frameSignals.h"
#include "signals/frmTxSignals.h"
#include "signals/signalTableModel.h"
#include "signals/signalsView.h"
#include "support/mainWindowFixture.h"
#include "transmit/transmitList.h"
#include "transmit/transmitPane.h"
#include "transmit/txEditor.h"

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>

#include <gtest/gtest.h>

using namespace korvel;

namespace {

// Motorola and Intel signals, a value table and a multiplexed message.
constexpr const char* kDemoDbc = R"(VERSION ""
BU_: Engine Dash
BO_ 256 Transmission: 4 Engine
 SG_ Gear : 0|8@1+ (1,0) [0|6] "" Dash
 SG_ Selector : 8|8@1+ (1,0) [0|3] "" Dash
 SG_ Speed : 23|16@0+ (0.01,0) [0|655.35] "km/h" Dash
BO_ 672 VehicleId: 8 Dash
 SG_ Part M : 0|8@1+ (1,0) [0|2] "" Dash
 SG_ Low m0 : 8|16@1+ (1,0) [0|65535] "" Dash
 SG_ High m1 : 8|16@1- (0.5,0) [-100|100] "V" Dash
CM_ BO_ 256 "Gearbox state";
CM_ SG_ 256 Speed "Output shaft speed";
VAL_ 256 Selector 0 "P" 1 "R" 2 "D" 3 "N" ;
)";

std::string writeFile(const test::TempDir& dir, const char* name, const std::string& text) {
    const std::string path = dir.file(name);
    QFile file(QString::fromStdString(path));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qint64>(text.size()));
    return path;
}

void addMonitorRow(MonitorModel& model, const char* id, const char* data, uint8_t dlc) {
    PollEntry entry;
    entry.idText.assign(id);
    entry.dataText.assign(data);
    entry.dlc = dlc;
    entry.frameCount = 1;
    RowTimes times;
    updateMonitorRows(model, std::span<const PollEntry>(&entry, 1), times, {});
}

// Every control a user can reach is named for tests and screen readers.
void expectNamedControls(const QWidget* parent) {
    for (QWidget* w : parent->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) ||
                             (qobject_cast<QAbstractItemView*>(w) && !qobject_cast<QHeaderView*>(w)) ||
                             qobject_cast<QLabel*>(w);
        EXPECT_FALSE(control && (w->objectName().isEmpty() || w->accessibleName().isEmpty()))
            << w->metaObject()->className() << " " << w->objectName().toStdString();
    }
}

QWidget* topLevel(const char* name) {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String(name) && widget->isVisible())
            return widget;
    return nullptr;
}

class SignalsWindowTest : public test::MainWindowFixture {
protected:
    std::string loadDemo() {
        const std::string path = writeFile(tmp, "demo.dbc", kDemoDbc);
        EXPECT_TRUE(window->loadDatabase(path));
        return path;
    }
    QTableView* monitor() const { return window->findChild<QTableView*>(QStringLiteral("listReceive")); }
};

} // namespace

TEST(DatabaseList, KeepsItsOwnSectionAndEmptiesTheKeysOfRemovedFiles) {
    IniDocument ini("[Options]\r\nComport=3\r\nDevice=1\r\n[Position]\r\nTop=5\r\n");
    writeDatabaseList(ini, {"/a/one.dbc", "/b/two.dbc", "/c/three.dbc"});
    EXPECT_EQ(readDatabaseList(ini), (std::vector<std::string>{"/a/one.dbc", "/b/two.dbc", "/c/three.dbc"}));
    writeDatabaseList(ini, {"/b/two.dbc"});
    EXPECT_EQ(readDatabaseList(ini), std::vector<std::string>{"/b/two.dbc"});
    EXPECT_EQ(ini.value(kDatabasesSection, "File3").value_or("?"), "");
    const std::string text = ini.text();
    EXPECT_EQ(text.substr(0, text.find("[Databases]")),
              "[Options]\r\nComport=3\r\nDevice=1\r\n[Position]\r\nTop=5\r\n");
    EXPECT_TRUE(readDatabaseList(IniDocument("[Options]\r\nDevice=1\r\n")).empty());

    Database database;
    database.path = "x.dbc";
    for (int line = 1; line <= 3; ++line)
        database.problems.push_back({line * 10, "unknown keyword"});
    EXPECT_EQ(databaseProblemsText(database, 2),
              "Some lines of the database could not be read and were left out:\n"
              "x.dbc line 10: unknown keyword\nx.dbc line 20: unknown keyword\n"
              "... and 1 more");
}

TEST(FrameSignals, WritesSwitchesFirstSoEveryWrittenValueDecodesBack) {
    const Database database = readDbc(kDemoDbc, "demo.dbc");
    ASSERT_EQ(database.messages.size(), 2u);
    const MessageDef& vehicle = database.messages[1];
    uint8_t data[8] = {0, 0x34, 0x12, 0, 0, 0, 0, 0xEE};
    std::string error;
    // Part switches to 1: High is written, Low (selected by 0) is not.
    ASSERT_TRUE(encodeMessageSignals(vehicle, {"1", "7", "-12.5"}, data, error)) << error;
    std::vector<DecodedSignal> decoded;
    decodeMessage(vehicle, data, 8, decoded);
    EXPECT_EQ(signalValueText(decoded[0]), "1");
    EXPECT_FALSE(decoded[1].present);
    EXPECT_EQ(signalValueText(decoded[2]), "-12.5");
    EXPECT_EQ(data[7], 0xEE);

    const MessageDef& gearbox = database.messages[0];
    uint8_t bytes[8] = {};
    ASSERT_TRUE(encodeMessageSignals(gearbox, {"", "D", "123.45"}, bytes, error));
    EXPECT_EQ(dataBytesText(bytes, 4), "00 02 30 39");
    const std::string before = dataBytesText(bytes, 8);
    EXPECT_FALSE(encodeMessageSignals(gearbox, {"3", "X", ""}, bytes, error));
    EXPECT_NE(error.find("Selector"), std::string::npos);
    EXPECT_EQ(dataBytesText(bytes, 8), before);
}

TEST_F(SignalsWindowTest, WithoutADatabaseTheWindowLooksAsItAlwaysDid) {
    window = openWindow();
    addMonitorRow(*window->monitorModel(), "100", "03 02 30 39", 4);
    EXPECT_TRUE(monitor()->isColumnHidden(MonitorModel::colName));
    EXPECT_FALSE(
        window->monitorModel()->data(window->monitorModel()->index(0, 0), Qt::ToolTipRole).isValid());
    EXPECT_FALSE(window->findChild<QDockWidget*>(QStringLiteral("dockSignals"))->isVisible());
    EXPECT_FALSE(window->findChild<QPushButton*>(QStringLiteral("cmdTxSignals"))->isVisibleTo(window.get()));
    EXPECT_FALSE(window->findChild<QMenu*>(QStringLiteral("mnuRemoveDatabase"))->isEnabled());
    window->close();
    EXPECT_EQ(IniDocument::load(basGlobal.iniPath).text().find("[Databases]"), std::string::npos);
}

TEST_F(SignalsWindowTest, LoadedDatabasesNameRowsAreRememberedAndRemoved) {
    writeIniString(basGlobal.iniPath, "Options", "Device", "1");
    window = openWindow();
    window->show();
    QAbstractItemModelTester tester(window->monitorModel());
    addMonitorRow(*window->monitorModel(), "100", "03 02 30 39", 4);
    addMonitorRow(*window->monitorModel(), "7FF", "00", 1);

    prompts.log.fileNames.push_back(QString::fromStdString(writeFile(tmp, "demo.dbc", kDemoDbc)));
    window->findChild<QAction*>(QStringLiteral("mnuLoadDatabase"))->trigger();
    EXPECT_TRUE(prompts.log.messages.isEmpty()) << prompts.log.messages.join(u'|').toStdString();
    EXPECT_FALSE(monitor()->isColumnHidden(MonitorModel::colName));
    EXPECT_EQ(monitor()->horizontalHeader()->visualIndex(MonitorModel::colName), 1);
    const MonitorModel& model = *window->monitorModel();
    EXPECT_EQ(model.data(model.index(0, MonitorModel::colName), Qt::DisplayRole).toString(), "Transmission");
    EXPECT_EQ(model.data(model.index(1, MonitorModel::colName), Qt::DisplayRole).toString(), "");
    EXPECT_EQ(model.data(model.index(0, MonitorModel::colData), Qt::ToolTipRole).toString(),
              "Transmission (Gearbox state)\nGear = 3\nSelector = D\nSpeed = 123.45 km/h");
    EXPECT_TRUE(window->findChild<QDockWidget*>(QStringLiteral("dockSignals"))->isVisible());

    // A second database defining the same message: told once, and the first one still decodes it.
    const std::string other = writeFile(tmp, "other.dbc",
                                        "BO_ 256 Other: 8 X\n SG_ A : 0|8@1+ (1,0) [0|0] \"\" X\n"
                                        "BO_ 1 Broken: 8 X\n SG_ B : 0|99@1+ (1,0) [0|0] \"\" X\n");
    ASSERT_TRUE(window->loadDatabase(other));
    ASSERT_EQ(prompts.log.messages.size(), 1);
    EXPECT_TRUE(prompts.log.messages[0].contains(QStringLiteral("other.dbc line 4: ")));
    EXPECT_TRUE(prompts.log.messages[0].contains(QStringLiteral("already defined")));
    EXPECT_EQ(model.data(model.index(0, MonitorModel::colName), Qt::DisplayRole).toString(), "Transmission");
    EXPECT_FALSE(window->loadDatabase(other));
    EXPECT_EQ(readIniString(basGlobal.iniPath, "Databases", "Count"), "2");
    EXPECT_EQ(readIniString(basGlobal.iniPath, "Options", "Device"), "1");

    window->close();
    window = openWindow();
    EXPECT_EQ(window->databases().size(), 2);
    EXPECT_EQ(prompts.log.messages.size(), 2) << "a start loads its files quietly";
    QMenu* remove = window->findChild<QMenu*>(QStringLiteral("mnuRemoveDatabase"));
    ASSERT_EQ(remove->actions().size(), 2);
    EXPECT_EQ(remove->actions()[1]->text(), "other.dbc");
    remove->actions()[0]->trigger();
    window->findChild<QMenu*>(QStringLiteral("mnuRemoveDatabase"))->actions()[0]->trigger();
    EXPECT_TRUE(window->databases().empty());
    EXPECT_TRUE(monitor()->isColumnHidden(MonitorModel::colName));
    EXPECT_EQ(readIniString(basGlobal.iniPath, "Databases", "Count"), "0");

    // A remembered file that is gone is reported at the next start and forgotten.
    writeIniString(basGlobal.iniPath, "Databases", "Count", "1");
    writeIniString(basGlobal.iniPath, "Databases", "File1", tmp.file("gone.dbc"));
    window->close();
    window = openWindow();
    EXPECT_TRUE(prompts.log.messages.last().contains(QStringLiteral("gone.dbc")));
    EXPECT_EQ(readIniString(basGlobal.iniPath, "Databases", "Count"), "0");
}

TEST_F(SignalsWindowTest, SignalsViewAndDetailsFollowTheSelectedRowAndDecodeOnlyChangedFrames) {
    window = openWindow();
    window->show();
    loadDemo();
    MonitorModel& model = *window->monitorModel();
    addMonitorRow(model, "100", "03 02 30 39", 4);
    monitor()->selectRow(0);
    SignalsView* view = window->signalsView();
    SignalTableModel& signalsModel = view->panel()->model();
    QAbstractItemModelTester tester(&signalsModel);
    view->refresh();
    ASSERT_EQ(signalsModel.rowCount(), 3);
    EXPECT_EQ(view->panel()->caption()->text(), "Transmission (100): Gearbox state");
    EXPECT_EQ(signalsModel.data(signalsModel.index(1, SignalTableModel::colName), Qt::DisplayRole).toString(),
              "Selector");
    EXPECT_EQ(
        signalsModel.data(signalsModel.index(1, SignalTableModel::colValue), Qt::DisplayRole).toString(),
        "D");
    EXPECT_EQ(signalsModel.headerData(SignalTableModel::colRaw, Qt::Horizontal, Qt::DisplayRole).toString(),
              "Raw");
    EXPECT_EQ(signalsModel.headerData(0, Qt::Vertical, Qt::DisplayRole).toInt(), 1);
    EXPECT_FALSE(signalsModel.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());
    EXPECT_EQ(signalsModel.data(signalsModel.index(2, SignalTableModel::colRaw), Qt::DisplayRole).toString(),
              "0x3039");
    EXPECT_EQ(signalsModel.data(signalsModel.index(2, SignalTableModel::colName), Qt::ToolTipRole).toString(),
              "Output shaft speed");
    EXPECT_EQ(view->refreshTimer()->interval(), SignalsView::kRefreshMs);
    expectNamedControls(window->findChild<QDockWidget*>(QStringLiteral("dockSignals")));

    QSignalSpy changes(&signalsModel, &QAbstractItemModel::dataChanged);
    view->refresh();
    EXPECT_EQ(changes.size(), 0);
    addMonitorRow(model, "100", "04 01 30 39", 4);
    view->refresh();
    EXPECT_EQ(changes.size(), 1);
    EXPECT_EQ(
        signalsModel.data(signalsModel.index(1, SignalTableModel::colValue), Qt::DisplayRole).toString(),
        "R");

    // A multiplexed signal its switch does not select has no value.
    addMonitorRow(model, "2A0", "01 10 00", 3);
    monitor()->selectRow(1);
    view->refresh();
    EXPECT_EQ(
        signalsModel.data(signalsModel.index(1, SignalTableModel::colValue), Qt::DisplayRole).toString(), "");
    EXPECT_EQ(
        signalsModel.data(signalsModel.index(2, SignalTableModel::colValue), Qt::DisplayRole).toString(),
        "8");

    window->runToolbarCommand(QStringLiteral("details"));
    QWidget* details = topLevel("frDetails");
    ASSERT_NE(details, nullptr);
    EXPECT_TRUE(details->findChild<QGroupBox*>(QStringLiteral("frSignals"))->isVisible());
    EXPECT_EQ(details->findChild<QTableView*>(QStringLiteral("listDetailsSignals"))->model()->rowCount(), 3);
    window->removeDatabase(0);
    EXPECT_FALSE(details->findChild<QGroupBox*>(QStringLiteral("frSignals"))->isVisible());
    EXPECT_EQ(signalsModel.rowCount(), 0);
}

TEST_F(SignalsWindowTest, TransmitRowFilledFromSignalValuesStaysAnOrdinaryRow) {
    window = openWindow();
    window->show();
    loadDemo();
    TransmitPane& pane = *window->transmitPane();
    auto* button = window->findChild<QPushButton*>(QStringLiteral("cmdTxSignals"));
    EXPECT_TRUE(button->isVisible());
    EXPECT_FALSE(button->isEnabled()) << "row 000 is in no database";
    pane.editor().setIdText("100");
    pane.editor().leaveId();
    pane.editor().setDlcText("2");
    ASSERT_TRUE(button->isEnabled());
    button->click();
    auto* dialog = pane.findChild<frmTxSignals*>(QStringLiteral("frmTxSignals"));
    ASSERT_NE(dialog, nullptr);
    dialog->listTxSignals->item(1, frmTxSignals::colValue)->setText(QStringLiteral("N"));
    dialog->listTxSignals->item(2, frmTxSignals::colValue)->setText(QStringLiteral("12"));
    dialog->listTxSignals->item(0, frmTxSignals::colValue)->setText(QStringLiteral("9999"));
    dialog->cmdTxSignalsOk->click();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->lblTxSignalsError->text().startsWith(QStringLiteral("Gear: ")));
    dialog->listTxSignals->item(0, frmTxSignals::colValue)->setText(QStringLiteral("5"));
    dialog->cmdTxSignalsOk->click();
    expectNamedControls(dialog);
    const TxRow& row = pane.list().row(pane.list().selectedRow());
    EXPECT_EQ(row.id, "100");
    EXPECT_EQ(row.dlc, "4");
    // Bytes past the DLC stay blank, as typing the row would leave them.
    EXPECT_EQ(row.data, "05 03 04 B0            ");
    EXPECT_EQ(pane.editor().fields().bytes[3], "B0");
}
