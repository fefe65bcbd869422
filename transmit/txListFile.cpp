#include "transmit/txListFile.h"

#include "core/numberText.h"
#include "core/textFile.h"
#include "transmit/txFieldRules.h"

#include <unordered_map>

namespace korvel {

namespace {

constexpr std::string_view kSection = "TxList";
constexpr const char* kFields[] = {"Id",      "DLC",  "Data",      "Period",
                                   "Comment", "Mode", "TriggerId", "TriggerData"};

std::string upperName(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        c = toUpperAscii(c);
    return out;
}

std::string keyName(int index, std::string_view field) {
    return "Message" + std::to_string(index) + std::string(field);
}

// A value on one line: a line break inside it would end the key's line and start a stray one.
std::string oneLine(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c == '\r' || c == '\n')
            c = ' ';
    return out;
}

} // namespace

std::vector<TxRow> txRowsFromIni(const IniDocument& ini) {
    std::unordered_map<std::string, std::string> values;
    for (auto& [key, value] : ini.entries(kSection))
        values.emplace(upperName(key), std::move(value)); // the first of a repeated key counts
    const auto read = [&values](int index, std::string_view field) {
        const auto it = values.find(upperName(keyName(index, field)));
        return it == values.end() ? std::string("0") : it->second;
    };

    std::vector<TxRow> rows;
    for (int n = 0; n < kMaxTxListRows; ++n) {
        std::string id = read(n, "Id");
        if (id == "-1")
            break;
        TxRow row;
        row.id = std::move(id);
        row.dlc = read(n, "DLC");
        row.data = read(n, "Data");
        row.mode = read(n, "Mode");
        row.count = "0";
        row.comment = read(n, "Comment");
        row.period = periodFromText(read(n, "Period"));
        row.triggerData = read(n, "TriggerData");
        row.triggerId = read(n, "TriggerId");
        rows.push_back(std::move(row));
    }
    return rows;
}

void writeTxRowsToIni(IniDocument& ini, const std::vector<TxRow>& rows) {
    IniDocument::Entries values;
    values.reserve(rows.size() * std::size(kFields) + 1);
    int n = 0;
    for (const TxRow& row : rows) {
        const std::string period = std::to_string(row.period);
        const std::string* texts[] = {&row.id,      &row.dlc,  &row.data,      &period,
                                      &row.comment, &row.mode, &row.triggerId, &row.triggerData};
        for (std::size_t f = 0; f < std::size(kFields); ++f)
            values.emplace_back(keyName(n, kFields[f]), oneLine(*texts[f]));
        ++n;
    }
    values.emplace_back(keyName(n, "Id"), "-1");
    ini.setValues(kSection, values);
}

std::optional<std::vector<TxRow>> loadTxListFile(const std::string& path, std::string* error) {
    std::string bytes;
    if (!readFileBytes(path, bytes, kMaxTxListFileBytes, error))
        return std::nullopt;
    return txRowsFromIni(IniDocument(bytes));
}

bool saveTxListFile(const std::string& path, const std::vector<TxRow>& rows, std::string* error) {
    std::optional<IniDocument> ini = IniDocument::read(path, error, kMaxTxListFileBytes);
    if (!ini)
        return false;
    writeTxRowsToIni(*ini, rows);
    return writeTextFileAtomically(path, ini->text(), error);
}

} // namespace korvel
