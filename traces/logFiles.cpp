#include "traces/logFiles.h"

#include "traces/ascLog.h"
#include "traces/candumpLog.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <utility>
#include <vector>

namespace korvel {

namespace {

constexpr std::size_t kTracerBytesPerFrame = 48;

bool endsWithNoCase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size())
        return false;
    text = text.substr(text.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i])
            return false;
    }
    return true;
}

// Cuts text arriving in pieces into lines at LF, CR or CR LF, numbering them from 1. A line longer than
// any log line is handed on only as "overlong", so no input makes it grow.
class LineFeed {
public:
    using Consumer = bool (*)(void* context, std::string_view line, std::size_t number, bool overlong);

    LineFeed(Consumer consumer, void* context) : consumer_(consumer), context_(context) {}

    // False once the consumer has asked to stop.
    bool feed(std::string_view chunk) {
        std::size_t start = 0;
        for (;;) {
            if (afterCr_ && start < chunk.size()) {
                if (chunk[start] == '\n')
                    ++start;
                afterCr_ = false;
            }
            if (start >= chunk.size())
                return true;
            std::size_t end = start;
            while (end < chunk.size() && chunk[end] != '\n' && chunk[end] != '\r')
                ++end;
            if (end == chunk.size()) {
                keep(chunk.substr(start));
                return true;
            }
            std::string_view line = chunk.substr(start, end - start);
            if (!pending_.empty() || overlong_) {
                keep(line);
                line = pending_;
            } else if (line.size() > kMaxLogLineBytes) {
                overlong_ = true;
            }
            afterCr_ = chunk[end] == '\r';
            start = end + 1;
            if (!deliver(line))
                return false;
        }
    }

    void finish() {
        if (!pending_.empty() || overlong_)
            deliver(pending_);
    }

    [[nodiscard]] std::size_t nextLineNumber() const { return number_ + 1; }

private:
    void keep(std::string_view piece) {
        if (overlong_)
            return;
        if (pending_.size() + piece.size() > kMaxLogLineBytes) {
            overlong_ = true;
            pending_.clear();
            return;
        }
        pending_.append(piece);
    }

    bool deliver(std::string_view line) {
        const bool go = consumer_(context_, line, ++number_, overlong_);
        pending_.clear();
        overlong_ = false;
        return go;
    }

    Consumer consumer_;
    void* context_;
    std::string pending_;
    bool overlong_ = false;
    bool afterCr_ = false;
    std::size_t number_ = 0;
};

// One load: a format's line reader feeding the Tracer text builder.
template <typename Reader> struct Load {
    Load(const LogLoadOptions& options, LogLoadResult& target) : result(target), builder(options, target) {}

    static bool onLine(void* context, std::string_view line, std::size_t number, bool overlong) {
        auto& self = *static_cast<Load*>(context);
        if (overlong) {
            self.builder.skip(LogLine::unreadable, number);
            return true;
        }
        const LogLine kind = self.reader.read(line, self.frame);
        if (kind != LogLine::frame) {
            self.builder.skip(kind, number);
            return true;
        }
        if (self.builder.add(self.frame))
            return true;
        self.result.stop = LogLoadResult::Stop::frameLimit;
        self.result.stoppedAtLine = number;
        return false;
    }

    LogLoadResult& result;
    TracerTextBuilder builder;
    Reader reader;
    LogFrame frame;
    LineFeed feed{&Load::onLine, this};
};

struct CandumpReader {
    LogLine read(std::string_view line, LogFrame& frame) { return readCandumpLine(line, frame); }
};

template <typename Reader>
void loadText(std::string_view text, const LogLoadOptions& options, LogLoadResult& result) {
    Load<Reader> load(options, result);
    if (load.feed.feed(text))
        load.feed.finish();
    load.builder.flush();
}

template <typename Reader>
bool loadFile(QFile& file, const LogLoadOptions& options, LogLoadResult& result, std::string* error) {
    Load<Reader> load(options, result);
    std::vector<char> buffer(std::size_t{1} << 20);
    std::size_t total = 0;
    for (;;) {
        const qint64 got = file.read(buffer.data(), static_cast<qint64>(buffer.size()));
        if (got < 0) {
            if (error)
                *error = file.errorString().toStdString();
            result = LogLoadResult{};
            return false;
        }
        if (got == 0)
            break;
        if (total >= kMaxLogBytes) {
            result.stop = LogLoadResult::Stop::sizeLimit;
            result.stoppedAtLine = load.feed.nextLineNumber();
            break;
        }
        total += static_cast<std::size_t>(got);
        if (!load.feed.feed(std::string_view(buffer.data(), static_cast<std::size_t>(got))))
            break;
    }
    if (result.stop == LogLoadResult::Stop::none)
        load.feed.finish();
    load.builder.flush();
    return true;
}

std::string plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + ' ' + (count == 1 ? one : many);
}

} // namespace

LogFormat logFormatForPath(std::string_view path) {
    if (endsWithNoCase(path, ".log"))
        return LogFormat::candump;
    if (endsWithNoCase(path, ".asc"))
        return LogFormat::asc;
    return LogFormat::trace;
}

LogLoadResult loadLogText(LogFormat format, std::string_view text, const LogLoadOptions& options) {
    LogLoadResult result;
    if (format == LogFormat::candump)
        loadText<CandumpReader>(text, options, result);
    else if (format == LogFormat::asc)
        loadText<AscLineReader>(text, options, result);
    return result;
}

bool loadLogFile(LogFormat format, const std::string& path, const LogLoadOptions& options,
                 LogLoadResult& result, std::string* error) {
    result = LogLoadResult{};
    const QString name = QString::fromStdString(path);
    // A pipe or a device may never end: only regular files are read.
    if (!QFileInfo(name).isFile()) {
        if (error)
            *error = QFileInfo::exists(name) ? "It is not a regular file." : "The file does not exist.";
        return false;
    }
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString().toStdString();
        return false;
    }
    // A Tracer line is about as long as a log line: room for the text at once spares copying it as it grows.
    if (!options.output)
        result.tracerText.reserve(std::min<std::size_t>(static_cast<std::size_t>(file.size()),
                                                        options.maxFrames * kTracerBytesPerFrame));
    if (format == LogFormat::candump)
        return loadFile<CandumpReader>(file, options, result, error);
    if (format == LogFormat::asc)
        return loadFile<AscLineReader>(file, options, result, error);
    return true;
}

bool writeLogFromTracer(LogFormat format, const TracerLineSource& lines, std::string_view ascDate,
                        const LogSink& sink, LogSaveResult& result) {
    return writeLogFromTracer(format, untimedLines(lines), ascDate, sink, result);
}

bool writeLogFromTracer(LogFormat format, const TracerTimedLineSource& lines, std::string_view ascDate,
                        const LogSink& sink, LogSaveResult& result) {
    result = LogSaveResult{};
    LogBlockWriter out(sink);
    if (format == LogFormat::candump)
        writeCandumpLog(lines, out, result);
    else if (format == LogFormat::asc)
        writeAscLog(lines, ascDate, out, result);
    return out.finish();
}

LogSaveResult logTextFromTracer(LogFormat format, const TracerLineSource& lines, std::string_view ascDate) {
    return logTextFromTracer(format, untimedLines(lines), ascDate);
}

LogSaveResult logTextFromTracer(LogFormat format, const TracerTimedLineSource& lines,
                                std::string_view ascDate) {
    LogSaveResult result;
    std::string text;
    writeLogFromTracer(
        format, lines, ascDate,
        [&text](std::string_view bytes) {
            text.append(bytes);
            return true;
        },
        result);
    result.text = std::move(text);
    return result;
}

LogSaveResult logTextFromTracer(LogFormat format, std::string_view tracerText, std::string_view ascDate) {
    return logTextFromTracer(format, tracerTextLines(tracerText), ascDate);
}

std::string loadReportText(const std::string& path, const LogLoadResult& result) {
    std::string text;
    if (result.skippedLines() > 0) {
        std::string kinds;
        const auto add = [&kinds](std::size_t count, const char* one, const char* many) {
            if (count == 0)
                return;
            kinds += kinds.empty() ? "" : ", ";
            kinds += plural(count, one, many);
        };
        add(result.canFdFrames, "CAN FD frame", "CAN FD frames");
        add(result.errorFrames, "error frame", "error frames");
        add(result.otherEvents, "other event", "other events");
        add(result.unreadableLines, "unreadable line", "unreadable lines");
        text += plural(result.skippedLines(), "line", "lines") + " of " + path + " could not be loaded (" +
                kinds + "); the first is line " + std::to_string(result.firstSkippedLine) + ".";
    }
    if (result.stop != LogLoadResult::Stop::none) {
        text += text.empty() ? "" : "\n";
        text += "Loading stopped at line " + std::to_string(result.stoppedAtLine) + " of " + path + ": ";
        text += result.stop == LogLoadResult::Stop::frameLimit
                    ? "the Tracer takes at most " + std::to_string(result.frames) + " frames from a log."
                    : "at most " + std::to_string(kMaxLogBytes >> 20) + " MiB of a log are read.";
    }
    if (result.timeJumps > 0) {
        text += text.empty() ? "" : "\n";
        text +=
            plural(result.timeJumps, "frame goes", "frames go") +
            " back in time or more than a minute ahead; replay sends each right after the line before it.";
    }
    return text;
}

std::string saveReportText(const std::string& path, const LogSaveResult& result) {
    if (result.skippedLines == 0)
        return {};
    return plural(result.skippedLines, "line", "lines") + " of the Tracer " +
           (result.skippedLines == 1 ? "holds" : "hold") + " no frame and " +
           (result.skippedLines == 1 ? "was" : "were") + " not saved to " + path + "; the first is line " +
           std::to_string(result.firstSkippedLine) + ".";
}

} // namespace korvel
