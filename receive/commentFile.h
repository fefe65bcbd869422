#pragma once

// Comment list files (".cmt"): exactly the list text, entries ended by CR LF.

#include <cstdint>
#include <string>
#include <string_view>

namespace korvel {

// Far beyond any real list (tens of thousands of entries), small enough that a wrong file cannot
// exhaust memory.
inline constexpr std::uintmax_t kMaxCommentFileBytes = 4u * 1024u * 1024u;

// Replaces `listText` with the file's text (UTF-8, or Latin-1 when it is not valid UTF-8), used as it is.
// False, with `listText` unchanged and `error` (when given) saying why, when the file cannot be read, is
// not a regular file or is larger than kMaxCommentFileBytes.
bool loadCommentListFile(const std::string& path, std::string& listText, std::string* error = nullptr);
// Replaces the file as a whole and atomically; false when it could not be written (the old file stays),
// and `error` (when given) says why.
bool saveCommentListFile(const std::string& path, std::string_view listText, std::string* error = nullptr);

} // namespace korvel
