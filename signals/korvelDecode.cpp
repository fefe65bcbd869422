// korvel-decode: the frames of a candump log, an ASC file or a Korvel trace decoded into signals with CAN
// databases, one JSON object per frame or CSV, for scripts and CI.

#include "signals/databaseSet.h"
#include "signals/signalCodec.h"
#include "traces/ascLog.h"
#include "traces/candumpLog.h"
#include "traces/logFiles.h"
#include "traces/traceLine.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace korvel;

constexpr const char* kUsage =
    "usage: korvel-decode --dbc FILE.dbc [--dbc MORE.dbc ...] [--csv] LOG\n"
    "       korvel-decode --dbc FILE.dbc [--dbc MORE.dbc ...] --encode REQUESTS\n"
    "Decodes a candump log (.log), an ASC file (.asc) or a Korvel trace into signals,\n"
    "one JSON object per frame, or one CSV row per signal with --csv.\n"
    "With --encode, each line of REQUESTS is 'MESSAGE SIGNAL=VALUE ...' (a number or a value name,\n"
    "quoted when it holds blanks: Gear=\"low range\")\n"
    "and becomes one candump frame 'ID#DATA' of the message's length, unnamed bits zero.\n";

struct Frame {
    int64_t timeUs = 0;
    uint32_t id = 0;
    bool extended = false;
    bool remote = false;
    int length = 0;
    uint8_t data[8] = {};
};

// Output through one large buffer: a million frames must not cost a million writes.
class Output {
public:
    ~Output() { flush(); }
    std::string& text() { return text_; }
    void lineDone() {
        if (text_.size() >= (1u << 20))
            flush();
    }
    void flush() {
        if (!text_.empty() && std::fwrite(text_.data(), 1, text_.size(), stdout) != text_.size())
            failed_ = true;
        text_.clear();
    }
    [[nodiscard]] bool failed() const { return failed_ || std::ferror(stdout) != 0; }

private:
    std::string text_;
    bool failed_ = false;
};

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    // Names rarely need escaping: append them whole.
    const bool plain = std::none_of(text.begin(), text.end(), [](char c) {
        return c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20;
    });
    if (plain) {
        out += text;
        out += '"';
        return;
    }
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", u);
            out += escape;
        } else {
            out += c;
        }
    }
    out += '"';
}

void appendCsvField(std::string& out, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += text;
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

void appendTime(std::string& out, int64_t timeUs) {
    if (timeUs < 0)
        out += '-';
    const uint64_t magnitude = timeUs < 0 ? 0 - static_cast<uint64_t>(timeUs) : static_cast<uint64_t>(timeUs);
    char text[24];
    out.append(text, std::to_chars(text, text + sizeof text, magnitude / 1000000).ptr);
    out += '.';
    const auto fraction = static_cast<unsigned>(magnitude % 1000000);
    char digits[6];
    for (int i = 5, v = static_cast<int>(fraction); i >= 0; --i, v /= 10)
        digits[i] = static_cast<char>('0' + v % 10);
    out.append(digits, sizeof digits);
}

void appendId(std::string& out, const Frame& frame) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const int digits = frame.extended ? 8 : 3;
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        out += kHex[(frame.id >> shift) & 0xF];
}

class Decoder {
public:
    Decoder(const DatabaseSet& databases, bool csv) : databases_(databases), csv_(csv) {
        if (csv_)
            out_.text() += "time,id,extended,message,signal,value,unit\n";
    }

    void frame(const Frame& frame) {
        const MessageDef* message = databases_.find(frame.id, frame.extended);
        if (message != nullptr && !frame.remote)
            decodeMessage(*message, frame.data, frame.length, decoded_);
        else
            decoded_.clear();
        csv_ ? csvRows(frame, message) : jsonLine(frame, message);
        out_.lineDone();
    }
    bool finish() {
        out_.flush();
        return !out_.failed() && std::fflush(stdout) == 0;
    }

private:
    void jsonLine(const Frame& frame, const MessageDef* message) {
        std::string& out = out_.text();
        out += "{\"time\":";
        appendTime(out, frame.timeUs);
        out += ",\"id\":\"";
        appendId(out, frame);
        out += frame.extended ? "\",\"extended\":true,\"name\":" : "\",\"extended\":false,\"name\":";
        if (message != nullptr)
            appendJsonString(out, message->name);
        else
            out += "null";
        out += ",\"signals\":{";
        bool first = true;
        for (const DecodedSignal& d : decoded_) {
            if (!d.present)
                continue;
            if (!first)
                out += ',';
            first = false;
            appendJsonString(out, d.signal->name);
            out += ':';
            if (d.valueName != nullptr)
                appendJsonString(out, *d.valueName);
            else if (!std::isfinite(d.physical))
                out += "null"; // JSON has no NaN or infinity
            else
                out += signalNumberText(d);
        }
        out += "}}\n";
    }

    void csvRows(const Frame& frame, const MessageDef* message) {
        std::string& out = out_.text();
        for (const DecodedSignal& d : decoded_) {
            if (!d.present)
                continue;
            appendTime(out, frame.timeUs);
            out += ',';
            appendId(out, frame);
            out += frame.extended ? ",true," : ",false,";
            appendCsvField(out, message->name);
            out += ',';
            appendCsvField(out, d.signal->name);
            out += ',';
            appendCsvField(out, d.valueName != nullptr ? *d.valueName : signalNumberText(d));
            out += ',';
            appendCsvField(out, d.signal->unit);
            out += '\n';
        }
    }

    const DatabaseSet& databases_;
    bool csv_ = false;
    Output out_;
    std::vector<DecodedSignal> decoded_;
};

struct ReadCount {
    std::size_t frames = 0;
    std::size_t skipped = 0;
    std::size_t firstSkipped = 0;
};

// Calls `line` with each line of the file, read in blocks; false when the file cannot be read.
template <typename LineFn> bool forEachLine(const std::string& path, LineFn&& line, std::string& error) {
    std::FILE* file = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    std::vector<char> block(1 << 20);
    std::string carry;
    std::size_t got = 0;
    bool ok = true;
    while ((got = std::fread(block.data(), 1, block.size(), file)) > 0) {
        std::string_view rest(block.data(), got);
        if (rest.find('\0') != std::string_view::npos) {
            error = "it is not a text file";
            ok = false;
            break;
        }
        while (true) {
            std::size_t end = rest.find('\n');
            if (end == std::string_view::npos)
                break;
            if (!carry.empty()) {
                carry.append(rest.substr(0, end));
                line(std::string_view(carry));
                carry.clear();
            } else {
                line(rest.substr(0, end));
            }
            rest.remove_prefix(end + 1);
        }
        if (carry.size() + rest.size() > kMaxLogLineBytes * 16) {
            error = "a line is too long";
            ok = false;
            break;
        }
        carry.append(rest);
    }
    if (ok && std::ferror(file) != 0) {
        error = std::strerror(errno);
        ok = false;
    }
    if (ok && !carry.empty())
        line(std::string_view(carry));
    if (file != stdin)
        std::fclose(file);
    return ok;
}

// One request line as a frame; false with `error` when a name or value is not the database's.
bool encodeRequest(const DatabaseSet& databases, std::string_view line, std::string& out,
                   std::string& error) {
    auto next = [&line]() {
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        std::size_t end = line.find_first_of(" \t");
        std::string_view token = line.substr(0, end);
        line.remove_prefix(token.size());
        return token;
    };
    std::string_view name = next();
    const MessageDef* message = nullptr;
    for (int i = 0; i < databases.size() && message == nullptr; ++i) {
        for (const MessageDef& m : databases.at(i).messages) {
            if (m.name == name) {
                message = databases.find(m.id, m.extended);
                break;
            }
        }
    }
    if (message == nullptr) {
        error = "no message " + std::string(name);
        return false;
    }
    uint8_t data[8] = {};
    while (true) {
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (line.empty())
            break;
        std::size_t equals = line.find('=');
        std::string_view signalName = line.substr(0, equals);
        const SignalDef* signal = nullptr;
        for (const SignalDef& s : message->signalList) {
            if (s.name == signalName)
                signal = &s;
        }
        if (signal == nullptr || equals == std::string_view::npos) {
            error = "no signal " + std::string(signalName.substr(0, signalName.find_first_of(" \t"))) +
                    " in " + message->name;
            return false;
        }
        line.remove_prefix(equals + 1);
        // A value name with blanks is quoted: Gear="low range".
        std::string_view value;
        if (!line.empty() && line.front() == '"') {
            std::size_t close = line.find('"', 1);
            if (close == std::string_view::npos) {
                error = "unterminated quote after " + signal->name;
                return false;
            }
            value = line.substr(1, close - 1);
            line.remove_prefix(close + 1);
        } else {
            value = line.substr(0, line.find_first_of(" \t"));
            line.remove_prefix(value.size());
        }
        if (!encodeSignalText(*signal, value, data)) {
            error = "cannot encode " + signal->name + "=" + std::string(value);
            return false;
        }
    }
    Frame frame;
    frame.id = message->id;
    frame.extended = message->extended;
    appendId(out, frame);
    out += '#';
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (int i = 0; i < std::min(message->size, 8); ++i) {
        out += kHex[data[i] >> 4];
        out += kHex[data[i] & 15];
    }
    out += '\n';
    return true;
}

bool decodeFile(const std::string& path, Decoder& decoder, ReadCount& count, std::string& error) {
    LogFormat format = logFormatForPath(path);
    AscLineReader asc;
    std::size_t number = 0;
    Frame frame;
    auto skip = [&] {
        ++count.skipped;
        if (count.firstSkipped == 0)
            count.firstSkipped = number;
    };
    auto line = [&](std::string_view text) {
        ++number;
        if (!text.empty() && text.back() == '\r')
            text.remove_suffix(1);
        if (format == LogFormat::trace) {
            // The first line of a trace is its column header.
            if (number == 1 || isSkippedTraceLine(text))
                return;
            std::optional<TraceFrame> trace = parseTraceLine(text);
            if (!trace) {
                skip();
                return;
            }
            frame.timeUs = std::llround(trace->timeSeconds * 1e6);
            frame.id = trace->id;
            frame.extended = trace->isExtended;
            frame.remote = trace->isRemote;
            frame.length = trace->isRemote ? 0 : trace->dlc;
            std::memcpy(frame.data, trace->data.data(), 8);
        } else {
            LogFrame log;
            LogLine kind = format == LogFormat::asc ? asc.read(text, log) : readCandumpLine(text, log);
            if (kind == LogLine::structure)
                return;
            if (kind != LogLine::frame) {
                if (kind == LogLine::unreadable)
                    skip();
                return;
            }
            frame.timeUs = log.timeUs;
            frame.id = log.id;
            frame.extended = log.extended;
            frame.remote = log.remote;
            frame.length = log.remote ? 0 : log.dlc;
            std::memcpy(frame.data, log.data.data(), 8);
        }
        ++count.frames;
        decoder.frame(frame);
    };
    return forEachLine(path, line, error);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> dbcPaths;
    std::string input;
    bool csv = false;
    bool encode = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--dbc" && i + 1 < argc) {
            dbcPaths.emplace_back(argv[++i]);
        } else if (arg == "--encode") {
            encode = true;
        } else if (arg == "--csv") {
            csv = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!arg.empty() && (arg.front() != '-' || arg == "-") && input.empty()) {
            input = arg;
        } else {
            std::fprintf(stderr, "korvel-decode: unexpected argument '%s'\n%s", argv[i], kUsage);
            return 2;
        }
    }
    if (dbcPaths.empty() || input.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    DatabaseSet databases;
    for (const std::string& path : dbcPaths) {
        Database database;
        std::string error;
        if (!loadDbcFile(path, database, error)) {
            std::fprintf(stderr, "korvel-decode: cannot read the database %s: %s\n", path.c_str(),
                         error.c_str());
            return 1;
        }
        for (const DbcProblem& problem : database.problems)
            std::fprintf(stderr, "%s:%d: %s\n", path.c_str(), problem.line, problem.reason.c_str());
        databases.add(std::move(database));
        for (const std::string& duplicate : databases.lastDuplicates())
            std::fprintf(stderr, "%s: already defined, decoded as %s\n", path.c_str(), duplicate.c_str());
    }
    if (encode) {
        std::string out, error;
        std::size_t number = 0;
        bool ok = forEachLine(
            input,
            [&](std::string_view line) {
                ++number;
                if (!error.empty() || line.find_first_not_of(" \t\r") == std::string_view::npos)
                    return;
                if (!line.empty() && line.back() == '\r')
                    line.remove_suffix(1);
                if (!encodeRequest(databases, line, out, error))
                    error = "line " + std::to_string(number) + ": " + error;
            },
            error);
        std::fwrite(out.data(), 1, out.size(), stdout);
        if (!ok || !error.empty()) {
            std::fprintf(stderr, "korvel-decode: %s: %s\n", input.c_str(), error.c_str());
            return 1;
        }
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    Decoder decoder(databases, csv);
    ReadCount count;
    std::string error;
    if (!decodeFile(input, decoder, count, error)) {
        decoder.finish();
        std::fprintf(stderr, "korvel-decode: cannot read %s: %s\n", input.c_str(), error.c_str());
        return 1;
    }
    if (!decoder.finish()) {
        std::fprintf(stderr, "korvel-decode: cannot write the output\n");
        return 1;
    }
    if (count.frames == 0 && count.skipped > 0) {
        std::fprintf(stderr, "korvel-decode: no frame in %s could be read (line %zu is the first)\n",
                     input.c_str(), count.firstSkipped);
        return 1;
    }
    if (count.skipped > 0)
        std::fprintf(stderr, "korvel-decode: %zu unreadable lines skipped in %s, the first is line %zu\n",
                     count.skipped, input.c_str(), count.firstSkipped);
    return 0;
}
