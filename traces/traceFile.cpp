#include "traces/traceFile.h"

#include "core/textFile.h"
#include "receive/tracerLine.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>

#include <algorithm>

namespace korvel {

namespace {

constexpr std::size_t kBlockBytes = 1024 * 1024;

bool writeAll(QSaveFile& file, const std::string& bytes) {
    const char* data = bytes.data();
    auto left = static_cast<qint64>(bytes.size());
    while (left > 0) {
        const qint64 written = file.write(data, left);
        if (written <= 0)
            return false;
        data += written;
        left -= written;
    }
    return true;
}

// The line as the Tracer holds it after a load: upper case, UTF-8.
void appendUpperCase(std::string& out, std::string_view line) {
    const bool ascii =
        std::all_of(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        for (char c : line)
            out.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
        return;
    }
    const auto size = static_cast<qsizetype>(line.size());
    const QString text =
        isValidUtf8(line) ? QString::fromUtf8(line.data(), size) : QString::fromLatin1(line.data(), size);
    out += text.toUpper().toStdString();
}

// Cuts a file read in blocks into lines at CR LF, LF or CR, also where a line end or a line spans two blocks.
class TraceLineCutter {
public:
    // Upper-cased complete lines, each followed by CR LF, go to `out`; the first line of the file is dropped.
    void feed(std::string_view block, std::string& out) {
        std::size_t start = 0;
        for (std::size_t i = 0; i < block.size(); ++i) {
            const char c = block[i];
            if (c != '\r' && c != '\n') {
                afterCr_ = false;
                continue;
            }
            if (c == '\n' && afterCr_ && i == start && pending_.empty()) {
                // The LF of a CR LF whose CR ended the previous block.
                afterCr_ = false;
                start = i + 1;
                continue;
            }
            pending_.append(block.substr(start, i - start));
            endLine(out);
            afterCr_ = c == '\r';
            if (afterCr_ && i + 1 < block.size() && block[i + 1] == '\n') {
                ++i;
                afterCr_ = false;
            }
            start = i + 1;
        }
        pending_.append(block.substr(start));
    }
    // The piece after the last line end, without a line end.
    void finish(std::string& out) {
        if (headerDropped_)
            appendUpperCase(out, pending_);
        pending_.clear();
    }

private:
    void endLine(std::string& out) {
        if (headerDropped_) {
            appendUpperCase(out, pending_);
            out += "\r\n";
        }
        headerDropped_ = true;
        pending_.clear();
    }

    std::string pending_;
    bool afterCr_ = false;
    bool headerDropped_ = false;
};

} // namespace

bool saveTraceFile(const std::string& path, const TracerStore& lines, std::string& error,
                   const TraceProgress& progress) {
    QSaveFile file(QString::fromStdString(path));
    // Unbuffered, so a failing write is seen here and never lets a short file replace the old one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        error = file.errorString().toStdString();
        return false;
    }
    const auto total = static_cast<std::int64_t>(kTracerHeader.size() + 2 + lines.textBytes());
    std::int64_t done = 0;
    std::string buffer;
    buffer.reserve(kBlockBytes + 4096);
    buffer.append(kTracerHeader).append("\r\n");
    // Lines are fetched by index, never held across the progress call: the event loop runs there, and a
    // recording poll may add lines, the first of them by extending the last one. What was there at the
    // start is saved, so the last line is cut back to its length at that time.
    const int last = lines.lineCount() - 1;
    const std::size_t lastLength = lines.line(last).size();
    bool written = true;
    for (int i = 0; i <= last && written; ++i) {
        buffer.append(i < last ? lines.line(i) : lines.line(i).substr(0, lastLength));
        if (i < last)
            buffer.append("\r\n");
        if (buffer.size() < kBlockBytes && i < last)
            continue;
        written = writeAll(file, buffer);
        done += static_cast<std::int64_t>(buffer.size());
        buffer.clear();
        if (written && progress)
            progress(done, total);
    }
    if (!written) {
        error = file.errorString().toStdString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = file.errorString().toStdString();
        return false;
    }
    return true;
}

std::int64_t traceLoadLimitBytes(std::int64_t recordingLimitBytes) {
    return recordingLimitBytes + recordingLimitBytes / 4;
}

std::string traceTooLargeText(std::int64_t limitBytes) {
    return "It is larger than the Tracer can hold (" + std::to_string(limitBytes >> 20) + " MB).";
}

bool loadTraceFile(const std::string& path, TracerStore& lines, std::string& error,
                   const TraceProgress& progress, std::int64_t limitBytes) {
    const QFileInfo info(QString::fromStdString(path));
    if (!info.exists()) {
        error = "The file does not exist.";
        return false;
    }
    if (!info.isFile()) {
        error = "It is not a regular file.";
        return false;
    }
    // Lines take at least their file's bytes in memory: a larger file is refused before it is read.
    if (info.size() > limitBytes) {
        error = traceTooLargeText(limitBytes);
        return false;
    }
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString().toStdString();
        return false;
    }
    TracerStore loaded;
    TraceLineCutter cutter;
    std::string block(kBlockBytes, '\0');
    std::string text;
    std::int64_t done = 0;
    for (;;) {
        const qint64 got = file.read(block.data(), static_cast<qint64>(block.size()));
        if (got < 0) {
            error = file.errorString().toStdString();
            return false;
        }
        if (got == 0)
            break;
        const std::string_view read(block.data(), static_cast<std::size_t>(got));
        if (read.find('\0') != std::string_view::npos) {
            error = "It is not a text file.";
            return false;
        }
        done += got;
        text.clear();
        cutter.feed(read, text);
        loaded.append(text);
        // Counted in memory, not in bytes of the file: a file of short lines, or one that grows while it is
        // read, still stops at the limit.
        if (static_cast<std::int64_t>(loaded.memoryBytes()) > limitBytes) {
            error = traceTooLargeText(limitBytes);
            return false;
        }
        if (progress)
            progress(done, info.size());
    }
    text.clear();
    cutter.finish(text);
    loaded.append(text);
    lines = std::move(loaded);
    return true;
}

} // namespace korvel
