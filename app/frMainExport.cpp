// The main window's Monitor export ("Save Rx List").

#include "app/frMain.h"
#include "core/prompts.h"
#include "core/textFile.h"
#include "receive/monitorModel.h"
#include "traces/monitorExport.h"

namespace korvel {

void frMain::saveRxList() {
    const QString file =
        prompts().saveFileName(QStringLiteral("Save Rx List"), QStringLiteral("Textfile (*.txt)"));
    if (file.isEmpty())
        return;
    // The rows as the list shows them, in its current order.
    std::vector<MonitorExportRow> rows;
    rows.reserve(static_cast<std::size_t>(monitorModel_->rowCount()));
    const auto cell = [this](int row, int column) {
        return monitorModel_->data(monitorModel_->index(row, column), Qt::DisplayRole)
            .toString()
            .toStdString();
    };
    for (int r = 0; r < monitorModel_->rowCount(); ++r)
        rows.push_back({cell(r, MonitorModel::colId), cell(r, MonitorModel::colDlc),
                        cell(r, MonitorModel::colData), cell(r, MonitorModel::colPeriod),
                        cell(r, MonitorModel::colCount), cell(r, MonitorModel::colComment)});
    std::string error;
    if (!writeTextFileAtomically(file.toStdString(), monitorExportText(rows), &error))
        prompts().critical(QString::fromStdString(saveFailedText(file.toStdString(), error)));
}

} // namespace korvel
