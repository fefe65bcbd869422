#pragma once

// The DBC reader's inner parts, shared by the files that read statements and that check what was read.
// Not for use outside signals/.

#include "signals/dbc.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

namespace korvel::dbcread {

inline constexpr uint32_t kExtendedBit = 0x80000000u;
// The pseudo message some editors file unused signals under; it is no frame.
inline constexpr uint32_t kIndependentSignalsId = 0xC0000000u;
// A broken file must not grow an endless problem list.
inline constexpr std::size_t kMaxProblems = 1000;
// No frame holds more than 64 one-bit signals; a few thousand leaves room for multiplexed pages.
inline constexpr std::size_t kMaxSignalsPerMessage = 4096;

// Statements that end at their line; every other keyword's statement ends at a ';' outside quotes.
inline constexpr std::string_view kLineStatements[] = {"VERSION", "NS_", "BS_", "BU_", "BO_", "SG_"};
// Keywords read past without use.
inline constexpr std::string_view kSkippedStatements[] = {
    "BO_TX_BU_",       "EV_",           "ENVVAR_DATA_", "SGTYPE_",          "SGTYPE_VAL_", "BA_DEF_SGTYPE_",
    "BA_SGTYPE_",      "SIG_TYPE_REF_", "SIG_GROUP_",   "SIGTYPE_VALTYPE_", "BA_DEF_REL_", "BA_REL_",
    "BA_DEF_DEF_REL_", "BU_SG_REL_",    "BU_EV_REL_",   "BU_BO_REL_",       "CAT_DEF_",    "CAT_",
    "FILTER",          "NS_DESC_",      "EV_DATA_"};

inline bool isIdentChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}
// How the reader files a message: its identifier with bit 31 for extended frames.
inline uint32_t messageKey(uint64_t rawId) {
    auto id = static_cast<uint32_t>(rawId & ~uint64_t{kExtendedBit});
    return id > 0x7FFu ? id | kExtendedBit : static_cast<uint32_t>(rawId);
}

inline bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

inline bool isKeyword(std::string_view word) {
    static constexpr std::string_view kRead[] = {"CM_",         "VAL_",    "VAL_TABLE_",  "SIG_VALTYPE_",
                                                 "SG_MUL_VAL_", "BA_DEF_", "BA_DEF_DEF_", "BA_"};
    auto in = [&](const auto& list) {
        return std::find(std::begin(list), std::end(list), word) != std::end(list);
    };
    return in(kLineStatements) || in(kSkippedStatements) || in(kRead);
}

// Whether the line after the line end at `at` starts with a keyword.
inline bool startsStatement(std::string_view text, std::size_t at) {
    while (at < text.size() && isSpace(text[at]))
        ++at;
    std::size_t end = at;
    while (end < text.size() && isIdentChar(text[end]))
        ++end;
    return end > at && isKeyword(text.substr(at, end - at));
}

// A cursor over one statement's text.
class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) {}

    void skipSpace() {
        while (pos_ < text_.size() && isSpace(text_[pos_]))
            ++pos_;
    }
    [[nodiscard]] bool atEnd() {
        skipSpace();
        return pos_ >= text_.size() || text_[pos_] == ';';
    }
    [[nodiscard]] char peek() {
        skipSpace();
        return pos_ < text_.size() ? text_[pos_] : '\0';
    }
    bool accept(char c) {
        if (peek() != c)
            return false;
        ++pos_;
        return true;
    }
    bool identifier(std::string& out) {
        skipSpace();
        std::size_t start = pos_;
        while (pos_ < text_.size() && isIdentChar(text_[pos_]))
            ++pos_;
        out.assign(text_.substr(start, pos_ - start));
        return !out.empty();
    }
    // A token of anything but spaces, quotes and the separators.
    bool word(std::string& out) {
        skipSpace();
        std::size_t start = pos_;
        while (pos_ < text_.size() && !isSpace(text_[pos_]) && text_[pos_] != ';' && text_[pos_] != '"' &&
               text_[pos_] != ',')
            ++pos_;
        out.assign(text_.substr(start, pos_ - start));
        return !out.empty();
    }
    bool quoted(std::string& out) {
        out.clear();
        if (!accept('"'))
            return false;
        while (pos_ < text_.size()) {
            char c = text_[pos_++];
            if (c == '"')
                return true;
            if (c == '\\' && pos_ < text_.size() && (text_[pos_] == '"' || text_[pos_] == '\\'))
                c = text_[pos_++];
            out += c;
        }
        unterminated_ = true;
        return false;
    }
    bool number(double& out) {
        skipSpace();
        std::size_t start = pos_;
        if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-'))
            ++pos_;
        while (pos_ < text_.size() && (isIdentChar(text_[pos_]) || text_[pos_] == '.' ||
                                       ((text_[pos_] == '+' || text_[pos_] == '-') &&
                                        (text_[pos_ - 1] == 'e' || text_[pos_ - 1] == 'E'))))
            ++pos_;
        std::string_view token = text_.substr(start, pos_ - start);
        if (!token.empty() && token.front() == '+')
            token.remove_prefix(1);
        auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), out);
        return ec == std::errc{} && end == token.data() + token.size() && std::isfinite(out);
    }
    bool integer(int64_t& out) {
        double value = 0;
        if (!number(value) || value != std::floor(value) || std::fabs(value) >= 9.2e18)
            return false;
        out = static_cast<int64_t>(value);
        return true;
    }
    bool unsignedInteger(uint64_t& out) {
        skipSpace();
        std::size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9')
            ++pos_;
        auto [end, ec] = std::from_chars(text_.data() + start, text_.data() + pos_, out);
        return ec == std::errc{} && end == text_.data() + pos_ && pos_ > start;
    }
    bool smallInteger(int& out) {
        uint64_t value = 0;
        if (!unsignedInteger(value) || value > 100000)
            return false;
        out = static_cast<int>(value);
        return true;
    }
    [[nodiscard]] bool unterminated() const { return unterminated_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    bool unterminated_ = false;
};

struct AttributeDef {
    std::string objectKind; // "", "BU_", "BO_", "SG_", "EV_"
    std::vector<std::string> enumValues;
    std::string defaultText;
};

class Reader {
public:
    explicit Reader(Database& database) : db_(database) {}

    void read(std::string_view text);

private:
    void statement(std::string_view keyword, std::string_view body, int line);
    void problem(int line, std::string reason);
    void message(Cursor& c, int line);
    void signal(Cursor& c, int line);
    void comment(Cursor& c, int line);
    void valueNames(Cursor& c, int line);
    void valueTable(Cursor& c, int line);
    void valueType(Cursor& c, int line);
    void multiplexValues(Cursor& c, int line);
    void attributeDef(Cursor& c, int line);
    void attributeDefault(Cursor& c, int line);
    void attribute(Cursor& c, int line);
    bool readValuePairs(Cursor& c, int line, std::vector<ValueName>& out);
    MessageDef* messageById(uint64_t rawId, int line);
    SignalDef* signalByName(MessageDef& message, std::string_view name, int line);
    void finish();
    void resolveMultiplexing(MessageDef& message);
    void reportOverlaps(const MessageDef& message, std::size_t index);

    Database& db_;
    std::unordered_map<uint32_t, std::size_t> messageIndex_; // id with bit 31 for extended
    std::unordered_map<uint32_t, int> messageLine_;
    std::vector<std::vector<int>> signalLines_; // per message, per signal
    std::vector<std::vector<bool>> refused_;    // per message, per signal
    // Per message, per signal: the multiplexor value of m<n>, or -1.
    std::vector<std::vector<int64_t>> simpleMux_;
    std::vector<std::vector<bool>> extendedMux_; // SG_MUL_VAL_ gave this signal's switch
    MessageDef* current_ = nullptr;
    std::map<std::string, AttributeDef, std::less<>> attributeDefs_;
    std::map<std::string, std::vector<ValueName>, std::less<>> valueTables_;
    std::vector<std::pair<std::size_t, int64_t>> cycleTimes_;       // message, value
    std::vector<std::pair<std::size_t, std::string>> frameFormats_; // message, value
    std::string protocol_;
    std::size_t droppedProblems_ = 0;
};

// Enumerated attributes are written as the index of their value.
std::string enumText(const AttributeDef* def, const std::string& value);
// The frame bits a laid-out signal covers, bit 8 * byte + bit.
uint64_t frameBits(const SignalDef& s);

} // namespace korvel::dbcread
