#pragma once

// Reading and writing whole text files. Files are written as UTF-8 and replaced atomically, so a crash or
// a full disk leaves the previous file intact; a file that is not valid UTF-8 is read as Latin-1, so files
// written by older programs still load.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace korvel {

[[nodiscard]] bool isValidUtf8(std::string_view bytes);
[[nodiscard]] std::string latin1ToUtf8(std::string_view bytes);
// The Windows code page that older programs wrote settings and list files in.
// Every byte has a character: the five bytes the code page leaves undefined become the control characters
// of the same number, so that any bytes decode and encode back unchanged.
[[nodiscard]] std::string windows1252ToUtf8(std::string_view bytes);
// Nothing when the text is not valid UTF-8 or holds a character the code page has no byte for.
[[nodiscard]] std::optional<std::string> utf8ToWindows1252(std::string_view text);

// The largest file the program reads whole unless a caller says otherwise.
inline constexpr std::size_t kMaxTextFileBytes = 16u * 1024 * 1024;

// False when the file cannot be read; `bytes` is then empty and `error` (when given) says why. Only regular
// files of at most `maxBytes` are read: a pipe or a device may never end, and a huge file must not take
// the program's memory.
bool readFileBytes(const std::string& path, std::string& bytes, std::size_t maxBytes = kMaxTextFileBytes,
                   std::string* error = nullptr);
// readFileBytes, with the bytes as UTF-8 text.
bool readTextFile(const std::string& path, std::string& text, std::size_t maxBytes = kMaxTextFileBytes,
                  std::string* error = nullptr);
// False when the file could not be written completely; the old file is then unchanged and `error` (when
// given) says why.
bool writeTextFileAtomically(const std::string& path, std::string_view text, std::string* error = nullptr);
// Where a file's bytes go, piece by piece; false when a piece could not be written.
using ByteSink = std::function<bool(std::string_view bytes)>;
// The same for a file made in pieces: `produce` hands them to the sink and returns what the sink last
// returned. Only what is in a piece is held, however large the file.
bool writeFileAtomically(const std::string& path, const std::function<bool(const ByteSink& write)>& produce,
                         std::string* error = nullptr);

// The one message for a save that failed: "Can't save <path>!" and the reason on a second line.
[[nodiscard]] std::string saveFailedText(const std::string& path, const std::string& reason);
// The one message for a file that was refused on reading.
[[nodiscard]] std::string readFailedText(const std::string& path, const std::string& reason);

} // namespace korvel
