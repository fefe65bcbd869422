// The main window's transmit side: sending through the link, "Copy to TX List" from the Monitor or the
// Tracer, and the transmit list files.

#include "app/frMain.h"
#include "core/basGlobal.h"
#include "core/prompts.h"
#include "core/textFile.h"
#include "link/connection.h"
#include "receive/monitorModel.h"
#include "receive/sentFrames.h"
#include "receive/tracerView.h"
#include "transmit/transmitList.h"
#include "transmit/transmitPane.h"
#include "transmit/txCopySource.h"
#include "transmit/txEditor.h"
#include "transmit/txListFile.h"

namespace korvel {

namespace {
const QString kTxListFilter = QStringLiteral("Tx List (*.txl)");
}

void frMain::setUpTransmit() {
    TransmitHooks hooks;
    hooks.send = [this](std::string_view id, std::string_view dlc, std::string_view data, int tag) {
        const bool sent = link_->transmit(frameFromRow(id, dlc, data), tag);
        if (sent)
            frameSent(sentFrameFromRow(id, dlc, data));
        return sent;
    };
    transmitPane_->list().setHooks(std::move(hooks));
}

TxListModel* frMain::txListModel() const {
    return &transmitPane_->list().model();
}

void frMain::addTxRow() {
    transmitPane_->list().addTxRow();
}

void frMain::copyToTxList() {
    TxCopySource source;
    if (basGlobal.hasOption(optTracerMode)) {
        const auto line = copySourceFromTracerLine(tracerView_->lineText(tracerView_->caretLine()));
        if (!line)
            return;
        source = *line;
    } else {
        const MonitorRow* row = monitorModel_->rowAt(selectedMonitorRow());
        if (!row)
            return;
        source = {row->id, std::to_string(row->dlc), row->data, row->comment, std::to_string(row->period)};
    }
    transmitPane_->editor().copyToTxList(source);
}

void frMain::saveTxList() {
    const QString file = prompts().saveFileName(QStringLiteral("Save Tx List"), kTxListFilter);
    if (file.isEmpty())
        return;
    const std::string path = file.toStdString();
    std::string error;
    if (!saveTxListFile(path, txListModel()->rows(), &error))
        prompts().critical(QString::fromStdString(saveFailedText(path, error)));
}

void frMain::loadTxList() {
    const QString file = prompts().openFileName(QStringLiteral("Load Tx List"), kTxListFilter, {});
    if (file.isEmpty())
        return;
    openTxList(file.toStdString());
}

void frMain::openTxList(const std::string& path) {
    std::string error;
    auto rows = loadTxListFile(path, &error);
    if (!rows) {
        prompts().critical(QString::fromStdString(readFailedText(path, error)));
        return;
    }
    TransmitList& list = transmitPane_->list();
    list.stopAllTx();
    list.replaceRows(std::move(*rows));
}

} // namespace korvel
