// Transmit list files: a damaged or hostile list loads a bounded number of rows, and a shorter list is
// written back whole.

#include "fuzz/fuzzCheck.h"

#include "core/iniFile.h"
#include "transmit/txListFile.h"

#include <string_view>

using namespace korvel;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const IniDocument ini(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::vector<TxRow> rows = txRowsFromIni(ini);
    FUZZ_CHECK(rows.size() <= 1001);
    for (const TxRow& row : rows)
        FUZZ_CHECK(row.period >= 0);
    // A list that ends before its terminator still reads as one.
    if (rows.size() < 1001 && size > 0) {
        IniDocument written;
        writeTxRowsToIni(written, rows);
        FUZZ_CHECK(txRowsFromIni(written).size() == rows.size());
    }
    return 0;
}
