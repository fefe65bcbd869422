#pragma once

// The Monitor list as a fixed-column text file for reading or printing elsewhere: a header, then one line
// per row, every line ended by CR LF. Nothing reads it back.

#include <string>
#include <string_view>
#include <vector>

namespace korvel {

inline constexpr std::string_view kMonitorExportHeader =
    "ID       DLC Data                    Period Count  Comment";

// One Monitor row as the list shows it.
struct MonitorExportRow {
    std::string id;
    std::string dlc;
    std::string data;
    std::string period;
    std::string count;
    std::string comment;
};

// Columns start at 0, 9, 13, 37, 44 and 51 while each text fits its column; a longer text is written whole
// and pushes the rest of its line to the right.
[[nodiscard]] std::string monitorExportLine(const MonitorExportRow& row);
[[nodiscard]] std::string monitorExportText(const std::vector<MonitorExportRow>& rows);

} // namespace korvel
