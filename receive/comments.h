#pragma once

// The comment list: one text of entries "ID<identifier>=<comment>" CR LF, looked up by exact,
// case-sensitive identifier text, and the comment shown for a frame with its "<ASC>" and "<DEC>"
// placeholders expanded.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvel {

// "ASCII:" and one character per data byte (a blank outside 32 to 126).
void appendAsciiRendering(std::string_view dataText, std::string& out);
// "DEC:" and, per data byte, a blank and its decimal value.
void appendDecRendering(std::string_view dataText, std::string& out);

// The text after the first "ID<idText>=" up to the next CR or the end of the list.
[[nodiscard]] std::optional<std::string_view> storedComment(std::string_view listText,
                                                            std::string_view idText);

// Replaces the comment after the first "ID<idText>=" (what follows its CR stays), or appends a new entry
// with CR LF. Line breaks in the comment become blanks: they would cut the entry and turn the rest of the
// comment into entries of its own.
void setStoredComment(std::string& listText, std::string_view idText, std::string_view comment);
// Removes the first entry of the identifier with its line end; false when there is none.
bool removeStoredComment(std::string& listText, std::string_view idText);

// Looks comments up without scanning the whole list for every frame. Keeps its own copy of the list and
// rebuilds itself only when the list text differs.
class CommentIndex {
public:
    void setList(std::string_view listText);
    [[nodiscard]] std::optional<std::string_view> stored(std::string_view idText) const;

private:
    std::string text_;
    std::vector<std::pair<std::string_view, uint32_t>> keys_; // identifier -> offset of its comment, sorted
    bool built_ = false;
};

// A shown comment is at most this many bytes: a list may hold a megabyte comment, which no view can lay
// out at every update. The stored comment itself is never cut.
inline constexpr std::size_t kMaxShownCommentBytes = 1024;
// The start of a comment that is shown, cut at a character boundary.
[[nodiscard]] std::string_view shownComment(std::string_view comment);

// The comment to show for a frame: the general ASCII or DEC rendering when that option is on, else the
// stored comment with every "<ASC>" and then every "<DEC>" replaced by the rendering; at most
// kMaxShownCommentBytes of it, and the work done never depends on more of the stored comment than that
// needs. `out` is reused.
void frameComment(std::string_view idText, std::string_view dataText, const CommentIndex& comments,
                  int32_t options, std::string& out);
[[nodiscard]] std::string frameComment(std::string_view idText, std::string_view dataText,
                                       std::string_view listText, int32_t options);

} // namespace korvel
