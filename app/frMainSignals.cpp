// The main window's CAN databases: loading and removing them, remembering them in the settings file, and
// the Signals view beside the Monitor.

#include "app/frMain.h"
#include "core/basGlobal.h"
#include "core/prompts.h"
#include "core/textFile.h"
#include "receive/monitorModel.h"
#include "signals/databaseList.h"
#include "signals/databaseSet.h"
#include "signals/signalsView.h"
#include "transmit/transmitPane.h"

#include <QAction>
#include <QDockWidget>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QTableView>

namespace korvel {

namespace {

// Room for a signal's name, value, unit and raw value side by side.
constexpr int kSignalsViewWidth = 420;

QString qText(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

void frMain::DatabaseSetDeleter::operator()(DatabaseSet* set) const {
    delete set;
}

void frMain::buildSignals() {
    databases_.reset(new DatabaseSet);

    // The message name shows after the identifier, and only while a database is loaded.
    QHeaderView* header = listReceive->horizontalHeader();
    header->moveSection(header->visualIndex(MonitorModel::colName), MonitorModel::colId + 1);
    listReceive->setColumnWidth(MonitorModel::colName, 160);
    listReceive->setColumnHidden(MonitorModel::colName, true);

    signalsView_ = new SignalsView(
        *databases_,
        [this](std::string& idText, std::string& dataText) {
            if (basGlobal.hasOption(optTracerMode)) {
                idText = tracerFrameId_;
                dataText = tracerFrameData_;
                return !idText.empty();
            }
            const MonitorRow* row = monitorModel_->rowAt(selectedMonitorRow());
            if (row == nullptr)
                return false;
            idText = row->id;
            dataText = row->data;
            return true;
        },
        this);
    dockSignals = new QDockWidget(QStringLiteral("Signals"), this);
    dockSignals->setObjectName(QStringLiteral("dockSignals"));
    dockSignals->setAccessibleName(QStringLiteral("Signals"));
    dockSignals->setAllowedAreas(Qt::RightDockWidgetArea | Qt::BottomDockWidgetArea);
    dockSignals->setWidget(signalsView_);
    addDockWidget(Qt::RightDockWidgetArea, dockSignals);
    dockSignals->hide();

    mnuSignalsView = dockSignals->toggleViewAction();
    mnuSignalsView->setObjectName(QStringLiteral("mnuSignalsView"));
    mnuSignalsView->setText(QStringLiteral("Signals View"));
    const QList<QAction*> fileEntries = mnuFile->actions();
    const qsizetype after = fileEntries.indexOf(mnuRemoveDatabase->menuAction()) + 1;
    mnuFile->insertAction(after < fileEntries.size() ? fileEntries[after] : nullptr, mnuSignalsView);
    mnuSignalsView->setVisible(false);

    connect(listReceive->selectionModel(), &QItemSelectionModel::currentRowChanged, signalsView_,
            [this] { signalsView_->refresh(); });
    connect(listReceive, &QTableView::clicked, signalsView_, [this] { signalsView_->refresh(); });
}

void frMain::loadDatabaseCommand() {
    const QString file = prompts().openFileName(QStringLiteral("Load Database"),
                                                QStringLiteral("CAN database (*.dbc)"), QString());
    if (!file.isEmpty())
        loadDatabase(file.toStdString());
}

bool frMain::loadDatabase(const std::string& path) {
    const QString absolute = QFileInfo(qText(path)).absoluteFilePath();
    for (int i = 0; i < databases_->size(); ++i) {
        if (QFileInfo(qText(databases_->at(i).path)).absoluteFilePath() == absolute) {
            prompts().critical(absolute + QStringLiteral(" is already loaded."));
            return false;
        }
    }
    Database database;
    std::string error;
    if (!loadDbcFile(absolute.toStdString(), database, error)) {
        prompts().critical(QStringLiteral("Cannot load the database ") + absolute + QStringLiteral(":\n") +
                           qText(error));
        return false;
    }
    const std::string problems = databaseProblemsText(database);
    databasesChanging();
    databases_->add(std::move(database));
    const std::string duplicates = duplicateMessagesText(databases_->lastDuplicates());
    databasesChanged();
    storeDatabaseList();
    // What the load found, told once, here: a start-up loads the same files quietly.
    std::string note = problems;
    if (!duplicates.empty())
        note += (note.empty() ? "" : "\n\n") + duplicates;
    if (!note.empty())
        prompts().critical(qText(note));
    return true;
}

void frMain::removeDatabase(int index) {
    if (index < 0 || index >= databases_->size())
        return;
    databasesChanging();
    databases_->remove(index);
    databasesChanged();
    storeDatabaseList();
}

void frMain::loadRememberedDatabases() {
    const std::vector<std::string> paths = readDatabaseList(IniDocument::load(basGlobal.iniPath));
    if (paths.empty())
        return;
    QString failed;
    databasesChanging();
    for (const std::string& path : paths) {
        Database database;
        std::string error;
        if (loadDbcFile(path, database, error))
            databases_->add(std::move(database));
        else
            failed += QLatin1Char('\n') + qText(path) + QStringLiteral(": ") + qText(error);
    }
    databasesChanged();
    if (failed.isEmpty())
        return;
    storeDatabaseList();
    prompts().critical(QStringLiteral("These databases could not be loaded and are no longer remembered:") +
                       failed);
}

void frMain::storeDatabaseList() {
    std::vector<std::string> paths;
    for (int i = 0; i < databases_->size(); ++i)
        paths.push_back(databases_->at(i).path);
    // A file that exists but could not be read is not replaced: it may hold more than this program knows.
    std::string error;
    std::optional<IniDocument> ini = IniDocument::read(basGlobal.iniPath, &error);
    if (ini) {
        writeDatabaseList(*ini, paths);
        if (ini->save(basGlobal.iniPath, &error))
            return;
    }
    prompts().critical(QString::fromStdString(saveFailedText(basGlobal.iniPath, error)));
}

void frMain::databasesChanging() {
    // Nothing shown may point into a database about to change.
    signalsView_->databasesChanging();
    monitorModel_->setDatabases(nullptr);
    transmitPane_->setDatabases(nullptr);
    showDatabasesInDetails(nullptr);
}

void frMain::databasesChanged() {
    const bool loaded = !databases_->empty();
    const DatabaseSet* shown = loaded ? databases_.get() : nullptr;
    monitorModel_->setDatabases(shown);
    transmitPane_->setDatabases(shown);
    showDatabasesInDetails(shown);
    listReceive->setColumnHidden(MonitorModel::colName, !loaded);

    // An entry may be the one whose click brought us here: it goes once its signal has returned.
    for (QAction* entry : mnuRemoveDatabase->actions()) {
        mnuRemoveDatabase->removeAction(entry);
        entry->deleteLater();
    }
    for (int i = 0; i < databases_->size(); ++i) {
        const QString path = qText(databases_->at(i).path);
        QAction* action = mnuRemoveDatabase->addAction(QFileInfo(path).fileName());
        action->setObjectName(QStringLiteral("mnuRemoveDatabase%1").arg(i + 1));
        action->setToolTip(path);
        action->setStatusTip(path);
        connect(action, &QAction::triggered, this, [this, i] { removeDatabase(i); });
    }
    mnuRemoveDatabase->setEnabled(loaded);

    const bool wasShown = mnuSignalsView->isVisible();
    mnuSignalsView->setVisible(loaded);
    if (loaded && !wasShown) {
        dockSignals->show();
        resizeDocks({dockSignals}, {kSignalsViewWidth}, Qt::Horizontal);
    } else if (!loaded)
        dockSignals->hide();
    signalsView_->refresh();
}

} // namespace korvel
