#include "signals/dbc.h"

#include "core/textFile.h"
#include "signals/dbcReader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <unordered_map>

namespace korvel::dbcread {

void Reader::problem(int line, std::string reason) {
    if (db_.problems.size() < kMaxProblems)
        db_.problems.push_back({line, std::move(reason)});
    else
        ++droppedProblems_;
}

void Reader::read(std::string_view text) {
    std::size_t pos = 0;
    int line = 1;
    auto advance = [&](std::size_t to) {
        for (; pos < to; ++pos) {
            if (text[pos] == '\n' || (text[pos] == '\r' && (pos + 1 >= text.size() || text[pos + 1] != '\n')))
                ++line;
        }
    };
    auto lineEnd = [&](std::size_t from) {
        std::size_t end = from;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r')
            ++end;
        return end;
    };
    bool inNamespace = false;
    while (pos < text.size()) {
        std::size_t start = pos;
        while (start < text.size() && isSpace(text[start]))
            ++start;
        advance(start);
        if (pos >= text.size())
            break;
        bool indented = pos > 0 && text[pos - 1] != '\n' && text[pos - 1] != '\r';
        std::size_t wordEnd = pos;
        while (wordEnd < text.size() && isIdentChar(text[wordEnd]))
            ++wordEnd;
        std::string_view keyword = text.substr(pos, wordEnd - pos);
        int statementLine = line;
        if (text.compare(pos, 2, "//") == 0) {
            advance(lineEnd(pos));
            continue;
        }
        // The namespace list names one keyword per indented line.
        if (inNamespace && indented) {
            std::size_t end = lineEnd(pos);
            std::string_view rest = text.substr(wordEnd, end - wordEnd);
            if (!keyword.empty() && rest.find_first_not_of(" \t") == std::string_view::npos) {
                advance(end);
                continue;
            }
        }
        inNamespace = false;
        if (keyword.empty()) {
            problem(line, "unreadable text");
            advance(lineEnd(pos));
            continue;
        }
        bool lineStatement = std::find(std::begin(kLineStatements), std::end(kLineStatements), keyword) !=
                             std::end(kLineStatements);
        std::size_t end = 0;
        bool complete = true;
        if (lineStatement) {
            end = lineEnd(wordEnd);
        } else {
            bool inQuote = false;
            end = wordEnd;
            bool nextStatement = false;
            while (end < text.size() && (inQuote || text[end] != ';')) {
                if (text[end] == '"') {
                    inQuote = !inQuote;
                } else if (inQuote && text[end] == '\\' && end + 1 < text.size()) {
                    ++end;
                } else if (!inQuote && (text[end] == '\n' || text[end] == '\r') &&
                           startsStatement(text, end)) {
                    // A ';' forgotten at a line's end: the next line's keyword starts the next statement.
                    nextStatement = true;
                    break;
                }
                ++end;
            }
            if (end >= text.size() && !nextStatement) {
                complete = false;
                end = lineEnd(wordEnd);
            }
            lineStatement = lineStatement || nextStatement;
        }
        std::string_view body = text.substr(wordEnd, end - wordEnd);
        if (!complete)
            problem(statementLine,
                    std::string(keyword) + ": no ';' ends the statement (an unterminated string?)");
        else
            statement(keyword, body, statementLine);
        if (keyword == "NS_")
            inNamespace = true;
        advance(complete && !lineStatement ? end + 1 : end);
    }
    finish();
    if (droppedProblems_ > 0)
        db_.problems.push_back({0, std::to_string(droppedProblems_) + " more problems not listed"});
}

void Reader::statement(std::string_view keyword, std::string_view body, int line) {
    Cursor c(body);
    if (keyword != "SG_")
        current_ = nullptr;
    if (keyword == "VERSION" || keyword == "NS_" || keyword == "BS_" || keyword == "BU_")
        return;
    if (keyword == "BO_")
        return message(c, line);
    if (keyword == "SG_")
        return signal(c, line);
    if (keyword == "CM_")
        return comment(c, line);
    if (keyword == "VAL_")
        return valueNames(c, line);
    if (keyword == "VAL_TABLE_")
        return valueTable(c, line);
    if (keyword == "SIG_VALTYPE_")
        return valueType(c, line);
    if (keyword == "SG_MUL_VAL_")
        return multiplexValues(c, line);
    if (keyword == "BA_DEF_")
        return attributeDef(c, line);
    if (keyword == "BA_DEF_DEF_")
        return attributeDefault(c, line);
    if (keyword == "BA_")
        return attribute(c, line);
    if (std::find(std::begin(kSkippedStatements), std::end(kSkippedStatements), keyword) !=
        std::end(kSkippedStatements))
        return;
    problem(line, "unknown keyword " + std::string(keyword));
}

void Reader::message(Cursor& c, int line) {
    current_ = nullptr;
    uint64_t rawId = 0;
    MessageDef m;
    if (!c.unsignedInteger(rawId) || rawId > 0xFFFFFFFFu || !c.identifier(m.name) || !c.accept(':') ||
        !c.smallInteger(m.size)) {
        problem(line, "BO_: expected 'BO_ <id> <name>: <size> <transmitter>'");
        return;
    }
    if (rawId == kIndependentSignalsId)
        return;
    c.identifier(m.transmitter);
    m.id = static_cast<uint32_t>(rawId & ~kExtendedBit);
    // An identifier too large for a standard frame can only be an extended one, whatever bit 31 says.
    m.extended = (rawId & kExtendedBit) != 0 || m.id > 0x7FFu;
    if (m.id > 0x1FFFFFFFu) {
        problem(line, "BO_ " + m.name + ": identifier out of range");
        return;
    }
    if (m.size > 64) {
        problem(line, "BO_ " + m.name + ": size over 64 bytes");
        return;
    }
    uint32_t key = m.id | (m.extended ? kExtendedBit : 0);
    if (auto found = messageLine_.find(key); found != messageLine_.end()) {
        problem(line, "BO_ " + m.name + ": identifier already used by the message on line " +
                          std::to_string(found->second));
        return;
    }
    messageLine_[key] = line;
    messageIndex_[key] = db_.messages.size();
    db_.messages.push_back(std::move(m));
    signalLines_.emplace_back();
    refused_.emplace_back();
    simpleMux_.emplace_back();
    extendedMux_.emplace_back();
    current_ = &db_.messages.back();
}

void Reader::signal(Cursor& c, int line) {
    if (current_ == nullptr) {
        problem(line, "SG_ outside a message");
        return;
    }
    SignalDef s;
    if (!c.identifier(s.name)) {
        problem(line, "SG_: no signal name");
        return;
    }
    int64_t muxValue = -1;
    std::string muxText;
    if (c.peek() != ':') {
        c.identifier(muxText);
        std::string_view m = muxText;
        // A lone lower-case 'm' beside m<n> pages is a misspelt switch some real files carry.
        if (m == "M" || m == "m") {
            s.isMultiplexor = true;
        } else if (m.size() > 1 && m.front() == 'm') {
            m.remove_prefix(1);
            if (m.back() == 'M') {
                s.isMultiplexor = true;
                m.remove_suffix(1);
            }
            uint64_t value = 0;
            auto [end, ec] = std::from_chars(m.data(), m.data() + m.size(), value);
            if (ec != std::errc{} || end != m.data() + m.size() || value > uint64_t(INT64_MAX)) {
                problem(line, "SG_ " + s.name + ": unreadable multiplexing '" + muxText + "'");
                return;
            }
            muxValue = static_cast<int64_t>(value);
        } else {
            problem(line, "SG_ " + s.name + ": unreadable multiplexing '" + muxText + "'");
            return;
        }
    }
    char order = 0, sign = 0;
    std::string orderText;
    if (!c.accept(':') || !c.smallInteger(s.startBit) || !c.accept('|') || !c.smallInteger(s.length) ||
        !c.accept('@') || !c.word(orderText) || orderText.size() != 2) {
        problem(line, "SG_ " + s.name + ": expected '<start>|<length>@<order><sign>'");
        return;
    }
    order = orderText[0];
    sign = orderText[1];
    if ((order != '0' && order != '1') || (sign != '+' && sign != '-')) {
        problem(line, "SG_ " + s.name + ": byte order must be @0 or @1 and the sign + or -");
        return;
    }
    s.order = order == '1' ? ByteOrder::intel : ByteOrder::motorola;
    s.isSigned = sign == '-';
    if (!c.accept('(') || !c.number(s.factor) || !c.accept(',') || !c.number(s.offset) || !c.accept(')') ||
        !c.accept('[') || !c.number(s.minimum) || !c.accept('|') || !c.number(s.maximum) || !c.accept(']')) {
        problem(line, "SG_ " + s.name + ": expected '(<factor>,<offset>) [<minimum>|<maximum>]'");
        return;
    }
    if (!c.quoted(s.unit)) {
        problem(line,
                "SG_ " + s.name + (c.unterminated() ? ": unterminated unit string" : ": no unit string"));
        return;
    }
    std::string receiver;
    while (c.identifier(receiver)) {
        if (receiver != "Vector__XXX")
            s.receivers.push_back(receiver);
        c.accept(',');
    }
    if (s.length < 1 || s.length > 64) {
        problem(line, "SG_ " + s.name + ": length " + std::to_string(s.length) + " is not 1 to 64");
        return;
    }
    if (s.factor == 0) {
        problem(line, "SG_ " + s.name + ": a factor of 0");
        return;
    }
    if (!prepareSignal(s)) {
        problem(line, "SG_ " + s.name + ": its bits do not fit in eight bytes");
        return;
    }
    if (current_->signalList.size() >= kMaxSignalsPerMessage) {
        problem(line, "SG_ " + s.name + ": more than " + std::to_string(kMaxSignalsPerMessage) +
                          " signals in " + current_->name);
        return;
    }
    for (const SignalDef& other : current_->signalList) {
        if (other.name == s.name) {
            problem(line, "SG_ " + s.name + ": a second signal of that name in " + current_->name);
            return;
        }
    }
    std::size_t index = messageIndex_[current_->id | (current_->extended ? kExtendedBit : 0)];
    current_->signalList.push_back(std::move(s));
    signalLines_[index].push_back(line);
    refused_[index].push_back(false);
    simpleMux_[index].push_back(muxValue);
    extendedMux_[index].push_back(false);
}

MessageDef* Reader::messageById(uint64_t rawId, int line) {
    auto found = rawId <= 0xFFFFFFFFu ? messageIndex_.find(messageKey(rawId)) : messageIndex_.end();
    if (found == messageIndex_.end()) {
        if (rawId != kIndependentSignalsId)
            problem(line, "no message with identifier " + std::to_string(rawId));
        return nullptr;
    }
    return &db_.messages[found->second];
}

SignalDef* Reader::signalByName(MessageDef& message, std::string_view name, int line) {
    for (SignalDef& s : message.signalList) {
        if (s.name == name)
            return &s;
    }
    problem(line, "no signal " + std::string(name) + " in " + message.name);
    return nullptr;
}

void Reader::comment(Cursor& c, int line) {
    std::string kind, name, text;
    uint64_t id = 0;
    if (c.peek() == '"') {
        if (!c.quoted(text))
            problem(line, "CM_: unterminated string");
        return;
    }
    if (!c.identifier(kind)) {
        problem(line, "CM_: unreadable");
        return;
    }
    if (kind == "BO_" || kind == "SG_") {
        if (!c.unsignedInteger(id) || (kind == "SG_" && !c.identifier(name)) || !c.quoted(text)) {
            problem(line, "CM_ " + kind + ": expected an identifier, " + (kind == "SG_" ? "a signal, " : "") +
                              "and a quoted comment");
            return;
        }
        MessageDef* m = messageById(id, line);
        if (m == nullptr)
            return;
        if (kind == "BO_") {
            m->comment = text;
        } else if (SignalDef* s = signalByName(*m, name, line)) {
            s->comment = text;
        }
        return;
    }
    if (kind == "BU_" || kind == "EV_") {
        if (!c.identifier(name) || !c.quoted(text))
            problem(line, "CM_ " + kind + ": expected a name and a quoted comment");
        return;
    }
    problem(line, "CM_: unknown object " + kind);
}

bool Reader::readValuePairs(Cursor& c, int line, std::vector<ValueName>& out) {
    while (!c.atEnd()) {
        ValueName v;
        if (!c.integer(v.value) || !c.quoted(v.name)) {
            problem(line, c.unterminated() ? "unterminated string" : "expected '<value> \"<name>\"' pairs");
            return false;
        }
        out.push_back(std::move(v));
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const ValueName& a, const ValueName& b) { return a.value < b.value; });
    // A value named twice keeps its last name.
    std::vector<ValueName> unique;
    for (ValueName& v : out) {
        if (!unique.empty() && unique.back().value == v.value)
            unique.back() = std::move(v);
        else
            unique.push_back(std::move(v));
    }
    out = std::move(unique);
    return true;
}

void Reader::valueNames(Cursor& c, int line) {
    uint64_t id = 0;
    std::string name;
    if (!c.unsignedInteger(id)) {
        // Names for an environment variable: not ours.
        return;
    }
    if (!c.identifier(name)) {
        problem(line, "VAL_: no signal name");
        return;
    }
    std::vector<ValueName> values;
    if (!readValuePairs(c, line, values))
        return;
    if (MessageDef* m = messageById(id, line)) {
        if (SignalDef* s = signalByName(*m, name, line))
            s->valueNames = std::move(values);
    }
}

void Reader::valueTable(Cursor& c, int line) {
    std::string name;
    if (!c.identifier(name)) {
        problem(line, "VAL_TABLE_: no name");
        return;
    }
    std::vector<ValueName> values;
    if (readValuePairs(c, line, values))
        valueTables_[name] = std::move(values);
}

void Reader::valueType(Cursor& c, int line) {
    uint64_t id = 0;
    std::string name;
    int type = 0;
    if (!c.unsignedInteger(id) || !c.identifier(name) || !c.accept(':') || !c.smallInteger(type) ||
        type > 2) {
        problem(line, "SIG_VALTYPE_: expected '<id> <signal> : <0, 1 or 2>'");
        return;
    }
    MessageDef* m = messageById(id, line);
    SignalDef* s = m != nullptr ? signalByName(*m, name, line) : nullptr;
    if (s == nullptr)
        return;
    if (type == 0) {
        s->kind = SignalValueKind::integer;
        return;
    }
    int bits = type == 1 ? 32 : 64;
    if (s->length != bits) {
        problem(line, "SIG_VALTYPE_ " + name + ": a " + (type == 1 ? "float" : "double") + " needs " +
                          std::to_string(bits) + " bits, the signal has " + std::to_string(s->length));
        refused_[static_cast<std::size_t>(m - db_.messages.data())]
                [static_cast<std::size_t>(s - m->signalList.data())] = true;
        return;
    }
    s->kind = type == 1 ? SignalValueKind::float32 : SignalValueKind::float64;
}

void Reader::multiplexValues(Cursor& c, int line) {
    uint64_t id = 0;
    std::string name, switchName;
    if (!c.unsignedInteger(id) || !c.identifier(name) || !c.identifier(switchName)) {
        problem(line, "SG_MUL_VAL_: expected '<id> <signal> <switch> <from>-<to>, ...'");
        return;
    }
    std::vector<std::pair<uint64_t, uint64_t>> ranges;
    while (!c.atEnd()) {
        std::string range;
        c.word(range);
        auto dash = range.find('-');
        uint64_t from = 0, to = 0;
        bool ok = dash != std::string::npos;
        if (ok) {
            auto a = std::from_chars(range.data(), range.data() + dash, from);
            auto b = std::from_chars(range.data() + dash + 1, range.data() + range.size(), to);
            ok = a.ec == std::errc{} && a.ptr == range.data() + dash && b.ec == std::errc{} &&
                 b.ptr == range.data() + range.size() && from <= to && dash > 0;
        }
        if (!ok) {
            problem(line, "SG_MUL_VAL_ " + name + ": unreadable range '" + range + "'");
            return;
        }
        ranges.emplace_back(from, to);
        c.accept(',');
    }
    MessageDef* m = messageById(id, line);
    SignalDef* s = m != nullptr ? signalByName(*m, name, line) : nullptr;
    SignalDef* sw = m != nullptr && s != nullptr ? signalByName(*m, switchName, line) : nullptr;
    if (sw == nullptr)
        return;
    auto mi = static_cast<std::size_t>(m - db_.messages.data());
    auto si = static_cast<std::size_t>(s - m->signalList.data());
    if (s == sw || !sw->isMultiplexor) {
        problem(line, "SG_MUL_VAL_ " + name + ": " + switchName +
                          (s == sw ? " cannot select itself" : " is no multiplexor"));
        refused_[mi][si] = true;
        return;
    }
    int switchIndex = static_cast<int>(sw - m->signalList.data());
    if (extendedMux_[mi][si] && s->multiplexorIndex == switchIndex) {
        s->multiplexRanges.insert(s->multiplexRanges.end(), ranges.begin(), ranges.end());
    } else {
        s->multiplexorIndex = switchIndex;
        s->multiplexRanges = std::move(ranges);
    }
    extendedMux_[mi][si] = true;
}

void Reader::attributeDef(Cursor& c, int line) {
    AttributeDef def;
    std::string name, type;
    if (c.peek() != '"')
        c.identifier(def.objectKind);
    if (!c.quoted(name) || !c.identifier(type)) {
        problem(line, "BA_DEF_: expected '[object] \"<name>\" <type> ...'");
        return;
    }
    if (type == "ENUM") {
        std::string value;
        while (c.quoted(value)) {
            def.enumValues.push_back(value);
            c.accept(',');
        }
    }
    attributeDefs_[name] = std::move(def);
}

void Reader::attributeDefault(Cursor& c, int line) {
    std::string name, value;
    if (!c.quoted(name)) {
        problem(line, "BA_DEF_DEF_: expected '\"<name>\" <value>'");
        return;
    }
    if (c.peek() == '"')
        c.quoted(value);
    else
        c.word(value);
    auto found = attributeDefs_.find(name);
    if (found != attributeDefs_.end())
        found->second.defaultText = value;
}

void Reader::attribute(Cursor& c, int line) {
    std::string name, kind, value;
    if (!c.quoted(name)) {
        problem(line, "BA_: expected '\"<name>\" [object] <value>'");
        return;
    }
    uint64_t id = 0;
    if (c.peek() != '"' && c.peek() != '-' && !(c.peek() >= '0' && c.peek() <= '9')) {
        c.identifier(kind);
        std::string objectName;
        if ((kind == "BO_" || kind == "SG_") && !c.unsignedInteger(id)) {
            problem(line, "BA_ \"" + name + "\": no identifier");
            return;
        }
        if (kind == "SG_" || kind == "BU_" || kind == "EV_")
            c.identifier(objectName);
    }
    if (c.peek() == '"')
        c.quoted(value);
    else
        c.word(value);
    if (kind.empty() && name == "ProtocolType") {
        protocol_ = value;
        return;
    }
    if (kind != "BO_" || (name != "GenMsgCycleTime" && name != "VFrameFormat"))
        return;
    auto found = messageIndex_.find(messageKey(id));
    if (id > 0xFFFFFFFFu || found == messageIndex_.end())
        return;
    if (name == "GenMsgCycleTime") {
        int64_t ms = 0;
        Cursor number(value);
        if (number.integer(ms) && ms >= 0 && ms <= INT32_MAX)
            cycleTimes_.emplace_back(found->second, ms);
    } else {
        frameFormats_.emplace_back(found->second, value);
    }
}

} // namespace korvel::dbcread

namespace korvel {

using namespace dbcread;

bool prepareSignal(SignalDef& signal) {
    signal.laidOut = false;
    if (signal.length < 1 || signal.length > 64 || signal.startBit < 0 || signal.startBit > 511)
        return false;
    int end = 0; // one past the signal's last bit in the word's own numbering
    if (signal.order == ByteOrder::intel) {
        end = signal.startBit + signal.length;
        signal.shift = signal.startBit;
    } else {
        // The start bit is the most significant bit; in a big-endian word, bit 0 is the first byte's top bit.
        int msb = (signal.startBit / 8) * 8 + (7 - signal.startBit % 8);
        end = msb + signal.length;
        signal.shift = 64 - end;
    }
    if (end > 64)
        return false;
    signal.bytesNeeded = (end - 1) / 8 + 1;
    signal.mask = signal.length == 64 ? ~uint64_t{0} : (uint64_t{1} << signal.length) - 1;
    constexpr double kLimit = 9007199254740992.0; // 2^53
    signal.integerScale = signal.kind == SignalValueKind::integer &&
                          std::floor(signal.factor) == signal.factor &&
                          std::floor(signal.offset) == signal.offset && std::fabs(signal.factor) <= kLimit &&
                          std::fabs(signal.offset) <= kLimit;
    if (signal.integerScale) {
        signal.factorInt = static_cast<int64_t>(signal.factor);
        signal.offsetInt = static_cast<int64_t>(signal.offset);
    }
    signal.laidOut = true;
    return true;
}

Database readDbc(std::string_view text, std::string path) {
    Database database;
    database.path = std::move(path);
    if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.remove_prefix(3);
    std::string converted;
    if (!isValidUtf8(text)) {
        converted = windows1252ToUtf8(text);
        text = converted;
    }
    Reader reader(database);
    reader.read(text);
    // The value kinds come after the signals: lay them out again for the exact-scale flag.
    for (MessageDef& m : database.messages) {
        for (SignalDef& s : m.signalList)
            prepareSignal(s);
    }
    return database;
}

bool loadDbcFile(const std::string& path, Database& out, std::string& error) {
    std::string bytes;
    if (!readFileBytes(path, bytes, kMaxDbcBytes, &error))
        return false;
    if (bytes.empty()) {
        error = "the file is empty";
        return false;
    }
    if (bytes.find('\0') != std::string::npos) {
        error = "not a database";
        return false;
    }
    Database database = readDbc(bytes, path);
    if (database.messages.empty() && !database.problems.empty()) {
        error = "not a database (line " + std::to_string(database.problems.front().line) + ": " +
                database.problems.front().reason + ")";
        return false;
    }
    out = std::move(database);
    return true;
}

} // namespace korvel
