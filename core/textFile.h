#pragma once

// Reading and writing whole text files. Files are written as UTF-8 and replaced atomically, so a crash or
// a full disk leaves the previous file intact; a file that is not valid UTF-8 is read as Latin-1, so files
// written by older programs still load.

#include <string>
#include <string_view>

namespace korvel {

[[nodiscard]] bool isValidUtf8(std::string_view bytes);
[[nodiscard]] std::string latin1ToUtf8(std::string_view bytes);

// The largest file the program reads whole unless a caller says otherwise.
inline constexpr std::size_t kMaxTextFileBytes = 16u * 1024 * 1024;

// False when the file cannot be read; `text` is then empty and `error` (when given) says why. Only regular
// files of at most `maxBytes` are read: a pipe or a device may never end, and a huge file must not take
// the program's memory.
bool readTextFile(const std::string& path, std::string& text, std::size_t maxBytes = kMaxTextFileBytes,
                  std::string* error = nullptr);
// False when the file could not be written completely; the old file is then unchanged and `error` (when
// given) says why.
bool writeTextFileAtomically(const std::string& path, std::string_view text, std::string* error = nullptr);

// The one message for a save that failed: "Can't save <path>!" and the reason on a second line.
[[nodiscard]] std::string saveFailedText(const std::string& path, const std::string& reason);
// The one message for a file that was refused on reading.
[[nodiscard]] std::string readFailedText(const std::string& path, const std::string& reason);

} // namespace korvel
