// A comment list as a file holds it: looked up through the index and by a plain search, rendered for
// frames, and edited the way the comment dialog edits it.

#include "fuzz/fuzzCheck.h"

#include "core/basGlobal.h"
#include "core/numberText.h"
#include "receive/comments.h"

#include <optional>
#include <string>
#include <vector>

using namespace korvel;

namespace {

// Identifiers the list names (the text after each "ID" up to "="), and a few it may not.
std::vector<std::string> candidateIds(std::string_view list, fuzz::Choices& choices) {
    std::vector<std::string> ids;
    for (std::size_t at = list.find("ID"); at != std::string_view::npos && ids.size() < 16;
         at = list.find("ID", at + 1)) {
        const std::size_t eq = list.find('=', at + 2);
        if (eq != std::string_view::npos && eq - at - 2 <= 10)
            ids.emplace_back(list.substr(at + 2, eq - at - 2));
    }
    for (int k = 0; k < 3; ++k)
        ids.push_back(upperHex(choices.next(0x800), 3));
    ids.push_back(upperHex(choices.next(0x20000000), 8));
    return ids;
}

std::string dataText(fuzz::Choices& choices) {
    std::string text;
    const unsigned dlc = choices.next(9);
    for (unsigned k = 0; k < dlc; ++k) {
        if (k > 0)
            text.push_back(' ');
        text += upperHex(choices.next(256), 2);
    }
    return text;
}

bool sameComment(std::optional<std::string_view> a, std::optional<std::string_view> b) {
    return a.has_value() == b.has_value() && (!a || *a == *b);
}

// Every entry starts a line ended by CR LF, so editing one entry must leave the others as they were.
bool entriesStartLines(std::string_view list) {
    for (std::size_t at = list.find('\n'); at != std::string_view::npos; at = list.find('\n', at + 1))
        if (at == 0 || list[at - 1] != '\r')
            return false;
    for (std::size_t at = list.find("ID"); at != std::string_view::npos; at = list.find("ID", at + 1))
        if (at != 0 && list[at - 1] != '\n')
            return false;
    return true;
}

bool oneLine(std::string_view id) {
    return id.find_first_of("\r\n") == std::string_view::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const auto [seed, list] = fuzz::seededText(data, size);
    fuzz::Choices choices(seed);
    const std::vector<std::string> ids = candidateIds(list, choices);

    CommentIndex index;
    index.setList(list);
    std::string shown;
    for (const std::string& id : ids) {
        const auto stored = storedComment(list, id);
        FUZZ_CHECK(sameComment(index.stored(id), stored));
        const std::string bytes = dataText(choices);
        for (int32_t options : {0, optCommentAscii, optCommentDec}) {
            frameComment(id, bytes, index, options, shown);
            FUZZ_CHECK(shown == frameComment(id, bytes, list, options));
            if (options == 0) {
                // A placeholder grows to at most "DEC:" and eight numbers.
                FUZZ_CHECK(shown.size() <= 10 * (stored ? stored->size() : 0));
            } else {
                FUZZ_CHECK(shown.rfind(options == optCommentAscii ? "ASCII:" : "DEC:", 0) == 0);
            }
        }
    }

    // The comment dialog's "Ok" and "Delete" on a copy of the list.
    const std::string& id = ids[choices.next(static_cast<unsigned>(ids.size()))];
    const std::size_t from = choices.next(static_cast<unsigned>(list.size() + 1));
    const std::string comment(list.substr(from, choices.next(40)));
    const bool cleanEdit = entriesStartLines(list) && comment.find("ID") == std::string::npos &&
                           id.find('=') == std::string::npos && oneLine(id);
    std::vector<std::optional<std::string_view>> before;
    for (const std::string& other : ids)
        before.push_back(storedComment(list, other));

    std::string edited(list);
    setStoredComment(edited, id, comment);
    std::string expected(comment);
    for (char& c : expected)
        if (c == '\r' || c == '\n')
            c = ' ';
    if (id.find('=') == std::string::npos)
        FUZZ_CHECK(storedComment(edited, id) == std::optional<std::string_view>(expected));
    for (std::size_t k = 0; k < ids.size() && cleanEdit; ++k)
        if (ids[k] != id && oneLine(ids[k]))
            FUZZ_CHECK(sameComment(storedComment(edited, ids[k]), before[k]));

    std::string removed(list);
    FUZZ_CHECK(removeStoredComment(removed, id) == storedComment(list, id).has_value());
    for (std::size_t k = 0; k < ids.size() && cleanEdit; ++k)
        if (ids[k] != id && oneLine(ids[k]))
            FUZZ_CHECK(sameComment(storedComment(removed, ids[k]), before[k]));
    return 0;
}
