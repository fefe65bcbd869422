#include "traces/monitorExport.h"

#include "core/basGlobal.h"

namespace korvel {

std::string monitorExportLine(const MonitorExportRow& row) {
    std::string line = padRight(row.id, 9);
    line += row.dlc;
    line += "   ";
    line += padRight(row.data, 24);
    line += padRight(row.period, 7);
    line += padRight(row.count, 7);
    line += row.comment;
    return line;
}

std::string monitorExportText(const std::vector<MonitorExportRow>& rows) {
    std::string text(kMonitorExportHeader);
    text += "\r\n";
    for (const MonitorExportRow& row : rows) {
        text += monitorExportLine(row);
        text += "\r\n";
    }
    return text;
}

} // namespace korvel
