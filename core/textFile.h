#pragma once

// Reading and writing whole text files. Files are written as UTF-8 and replaced atomically, so a crash or
// a full disk leaves the previous file intact; a file that is not valid UTF-8 is read as Latin-1, so files
// written by older programs still load.

#include <string>
#include <string_view>

namespace korvel {

[[nodiscard]] bool isValidUtf8(std::string_view bytes);
[[nodiscard]] std::string latin1ToUtf8(std::string_view bytes);

// False when the file cannot be read; `text` is then empty.
bool readTextFile(const std::string& path, std::string& text);
// False when the file could not be written completely; the old file is then unchanged.
bool writeTextFileAtomically(const std::string& path, std::string_view text);

} // namespace korvel
