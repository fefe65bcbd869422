#include "signals/databaseList.h"

#include <charconv>

namespace korvel {

namespace {

std::string fileKey(std::size_t n) {
    return "File" + std::to_string(n);
}

// The listed lines, then one line saying how many were left out.
std::string listedLines(const std::vector<std::string>& lines, std::size_t maxLines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size() && i < maxLines; ++i)
        text += '\n' + lines[i];
    if (lines.size() > maxLines)
        text += "\n... and " + std::to_string(lines.size() - maxLines) + " more";
    return text;
}

} // namespace

std::vector<std::string> readDatabaseList(const IniDocument& ini) {
    std::vector<std::string> paths;
    const int32_t count = iniInteger(ini, kDatabasesSection, "Count", 0);
    for (int32_t n = 1; n <= count && n <= 1000; ++n) {
        const std::optional<std::string> path =
            ini.value(kDatabasesSection, fileKey(static_cast<std::size_t>(n)));
        if (path && !path->empty())
            paths.push_back(*path);
    }
    return paths;
}

void writeDatabaseList(IniDocument& ini, const std::vector<std::string>& paths) {
    IniDocument::Entries entries;
    entries.emplace_back("Count", std::to_string(paths.size()));
    for (std::size_t i = 0; i < paths.size(); ++i)
        entries.emplace_back(fileKey(i + 1), paths[i]);
    for (const auto& [key, value] : ini.entries(kDatabasesSection)) {
        std::size_t n = 0;
        const char* end = key.data() + key.size();
        const auto [stop, ec] = key.size() > 4
                                    ? std::from_chars(key.data() + 4, end, n)
                                    : std::from_chars_result{key.data(), std::errc::invalid_argument};
        const bool isFile = ec == std::errc{} && stop == end && (key[0] == 'F' || key[0] == 'f') &&
                            (key.compare(1, 3, "ile") == 0 || key.compare(1, 3, "ILE") == 0);
        if (isFile && n > paths.size() && !value.empty())
            entries.emplace_back(key, std::string());
    }
    ini.setValues(kDatabasesSection, entries);
}

std::string databaseProblemsText(const Database& database, std::size_t maxLines) {
    if (database.problems.empty())
        return {};
    std::vector<std::string> lines;
    lines.reserve(database.problems.size());
    for (const DbcProblem& p : database.problems)
        lines.push_back(database.path + " line " + std::to_string(p.line) + ": " + p.reason);
    return "Some lines of the database could not be read and were left out:" + listedLines(lines, maxLines);
}

std::string duplicateMessagesText(const std::vector<std::string>& duplicates, std::size_t maxLines) {
    if (duplicates.empty())
        return {};
    return "These messages are already defined by a database loaded earlier, which decodes them:" +
           listedLines(duplicates, maxLines);
}

} // namespace korvel
