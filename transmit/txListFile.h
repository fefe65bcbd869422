#pragma once

// The transmit list file (.txl): an INI file with the section "TxList", eight keys per row named "Message",
// the row's index from 0 and the field ("Message0Id", "Message0DLC", ...), and "Message<N>Id=-1" after the
// last row. Counts are not stored; a loaded row starts at "0" with its timer stopped.

#include "core/iniFile.h"
#include "transmit/txRow.h"

#include <optional>
#include <string>
#include <vector>

namespace korvel {

// Rows read from a list stop at the "-1" terminator or after this many.
inline constexpr int kMaxTxListRows = 1001;
// A list of the most rows with the longest values is under 3 MiB; a larger file is not a list.
inline constexpr std::size_t kMaxTxListFileBytes = 8u * 1024 * 1024;

// The rows of a list file's document. A missing key reads as "0", a value is cut as the document cuts it,
// and a period is read as a number and limited to 0 to 32767. Of a key given twice the first counts.
[[nodiscard]] std::vector<TxRow> txRowsFromIni(const IniDocument& ini);
// Writes the rows' keys and the terminator into the document; its other lines stay as they are.
void writeTxRowsToIni(IniDocument& ini, const std::vector<TxRow>& rows);

// Nothing when the file cannot be read (missing, not a regular file, too large); `error` says why.
[[nodiscard]] std::optional<std::vector<TxRow>> loadTxListFile(const std::string& path, std::string* error);
// Updates the file's "TxList" section and replaces the file atomically, in the file's own encoding. A file
// that exists but cannot be read is left alone, since replacing it could lose what it holds. False with
// `error` when not saved.
bool saveTxListFile(const std::string& path, const std::vector<TxRow>& rows, std::string* error);

} // namespace korvel
