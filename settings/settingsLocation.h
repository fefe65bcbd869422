#pragma once

#include <string>

namespace korvel {

// "Korvel.ini" beside the program when that folder is writable or the file is already there; otherwise in
// the user's configuration folder.
[[nodiscard]] std::string settingsFilePath();

} // namespace korvel
