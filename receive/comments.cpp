#include "receive/comments.h"

#include "core/basGlobal.h"
#include "core/iniFile.h"
#include "core/numberText.h"

#include <algorithm>
#include <charconv>

namespace korvel {

namespace {

constexpr std::size_t kMaxIdLength = 8; // longer identifiers are not indexed and are searched directly

template <typename Visit> void forEachDataByte(std::string_view dataText, Visit visit) {
    for (std::size_t pos = 0; pos < dataText.size(); pos += 3)
        visit(static_cast<uint8_t>(readHexNumber(dataText.substr(pos, 2)) & 0xFF));
}

std::string key(std::string_view idText) {
    std::string k;
    k.reserve(idText.size() + 3);
    k.append("ID").append(idText).push_back('=');
    return k;
}

std::string_view commentAt(std::string_view listText, std::size_t start) {
    const std::size_t end = listText.find('\r', start);
    return listText.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

// `text` with every `placeholder` replaced by `by`, written to `out` in one pass and ended once `out`
// holds `limit` bytes.
void replaceAll(std::string_view text, std::string_view placeholder, std::string_view by, std::size_t limit,
                std::string& out) {
    out.clear();
    std::size_t pos = 0;
    while (pos < text.size() && out.size() < limit) {
        const std::size_t at = text.find(placeholder, pos);
        if (at == std::string_view::npos || at - pos >= limit - out.size()) {
            out.append(text.substr(pos, limit - out.size()));
            return;
        }
        out.append(text.substr(pos, at - pos)).append(by);
        pos = at + placeholder.size();
    }
}

} // namespace

void appendAsciiRendering(std::string_view dataText, std::string& out) {
    out.append("ASCII:");
    forEachDataByte(dataText,
                    [&](uint8_t b) { out.push_back(b >= 32 && b <= 126 ? static_cast<char>(b) : ' '); });
}

void appendDecRendering(std::string_view dataText, std::string& out) {
    out.append("DEC:");
    forEachDataByte(dataText, [&](uint8_t b) {
        char digits[4];
        const auto end = std::to_chars(digits, digits + sizeof digits, static_cast<unsigned>(b)).ptr;
        out.push_back(' ');
        out.append(digits, end);
    });
}

std::optional<std::string_view> storedComment(std::string_view listText, std::string_view idText) {
    const std::string k = key(idText);
    const std::size_t at = listText.find(k);
    if (at == std::string_view::npos)
        return std::nullopt;
    return commentAt(listText, at + k.size());
}

void setStoredComment(std::string& listText, std::string_view idText, std::string_view comment) {
    std::string clean(comment);
    std::replace_if(
        clean.begin(), clean.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    const std::string k = key(idText);
    const std::size_t at = listText.find(k);
    if (at == std::string::npos) {
        // A hand-edited file may lack the last line end; without one the new entry would join that comment.
        if (!listText.empty() && listText.back() != '\n' && listText.back() != '\r')
            listText.append("\r\n");
        listText.append(k).append(clean).append("\r\n");
        return;
    }
    const std::size_t start = at + k.size();
    const std::size_t end = listText.find('\r', start);
    listText.replace(start, (end == std::string::npos ? listText.size() : end) - start, clean);
}

bool removeStoredComment(std::string& listText, std::string_view idText) {
    const std::size_t at = listText.find(key(idText));
    if (at == std::string::npos)
        return false;
    std::size_t end = listText.find('\r', at);
    if (end == std::string::npos)
        end = listText.size();
    else if (++end < listText.size() && listText[end] == '\n')
        ++end;
    listText.erase(at, end - at);
    return true;
}

void CommentIndex::setList(std::string_view listText) {
    if (built_ && listText == text_)
        return;
    text_.assign(listText);
    keys_.clear();
    built_ = true;
    const std::string_view text = text_;
    // Every "ID" followed by up to eight characters and "=" is a key; the first occurrence wins, as a
    // search from the start would find it. Identifiers holding "=" fall back to that search.
    for (std::size_t at = text.find("ID"); at != std::string_view::npos; at = text.find("ID", at + 1)) {
        const std::size_t idStart = at + 2;
        const std::size_t eq = text.substr(idStart, kMaxIdLength + 1).find('=');
        if (eq == std::string_view::npos)
            continue;
        keys_.emplace_back(text.substr(idStart, eq), static_cast<uint32_t>(idStart + eq + 1));
    }
    std::stable_sort(keys_.begin(), keys_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    keys_.erase(std::unique(keys_.begin(), keys_.end(),
                            [](const auto& a, const auto& b) { return a.first == b.first; }),
                keys_.end());
}

std::optional<std::string_view> CommentIndex::stored(std::string_view idText) const {
    if (idText.size() > kMaxIdLength || idText.find('=') != std::string_view::npos)
        return storedComment(text_, idText);
    const auto it = std::lower_bound(keys_.begin(), keys_.end(), idText,
                                     [](const auto& entry, std::string_view id) { return entry.first < id; });
    if (it == keys_.end() || it->first != idText)
        return std::nullopt;
    return commentAt(text_, it->second);
}

namespace {

void renderComment(std::string_view dataText, int32_t options, std::optional<std::string_view> stored,
                   std::string& out) {
    out.clear();
    if ((options & optCommentAscii) != 0) {
        appendAsciiRendering(dataText, out);
        return;
    }
    if ((options & optCommentDec) != 0) {
        appendDecRendering(dataText, out);
        return;
    }
    if (!stored)
        return;
    // A placeholder is 5 bytes and a rendering at least 4, so the first shown bytes come from at most
    // 5/4 as many bytes before the "<DEC>" pass, and those from fewer stored bytes before the "<ASC>" pass.
    constexpr std::size_t kFirstPassLimit = 2 * kMaxShownCommentBytes + 8;
    const std::string_view comment = stored->substr(0, kFirstPassLimit);
    if (comment.find('<') == std::string_view::npos) {
        out.assign(shownComment(comment));
        return;
    }
    std::string rendering;
    std::string expanded;
    appendAsciiRendering(dataText, rendering);
    replaceAll(comment, "<ASC>", rendering, kFirstPassLimit, expanded);
    rendering.clear();
    appendDecRendering(dataText, rendering);
    replaceAll(expanded, "<DEC>", rendering, kMaxShownCommentBytes + 8, out);
    out.resize(shownComment(out).size());
}

bool generalRendering(int32_t options) {
    return (options & (optCommentAscii | optCommentDec)) != 0;
}

} // namespace

std::string_view shownComment(std::string_view comment) {
    return utf8Prefix(comment, kMaxShownCommentBytes);
}

void frameComment(std::string_view idText, std::string_view dataText, const CommentIndex& comments,
                  int32_t options, std::string& out) {
    renderComment(dataText, options, generalRendering(options) ? std::nullopt : comments.stored(idText), out);
}

std::string frameComment(std::string_view idText, std::string_view dataText, std::string_view listText,
                         int32_t options) {
    std::string out;
    renderComment(dataText, options,
                  generalRendering(options) ? std::nullopt : storedComment(listText, idText), out);
    return out;
}

} // namespace korvel
