#pragma once

// The databases Korvel loads at start, kept in a section of the settings file of their own, and the texts
// that tell the user what a database load found.

#include "core/iniFile.h"
#include "signals/dbc.h"

#include <string>
#include <vector>

namespace korvel {

inline constexpr const char* kDatabasesSection = "Databases";

// "Count" and "File1" to "FileN", in the order they were loaded; nothing when the section is missing.
[[nodiscard]] std::vector<std::string> readDatabaseList(const IniDocument& ini);
// Writes the list; keys of a longer list written before are emptied, so no removed file comes back.
void writeDatabaseList(IniDocument& ini, const std::vector<std::string>& paths);

// The lines a database's reader could not read, "FILE line N: reason", at most `maxLines` of them and then
// how many more there are; empty when there were none.
[[nodiscard]] std::string databaseProblemsText(const Database& database, std::size_t maxLines = 20);
// The one-time note for messages an earlier database already defines; empty when there are none.
[[nodiscard]] std::string duplicateMessagesText(const std::vector<std::string>& duplicates,
                                                std::size_t maxLines = 20);

} // namespace korvel
