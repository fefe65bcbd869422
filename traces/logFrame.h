#pragma once

// What the log formats share: a frame as logs hold it, turning logged frames into Tracer lines (with the
// Tracer's 60-second time field), and reading Tracer lines back as frames with times made monotonic.

#include "link/canFrame.h"
#include "receive/tracerStore.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace korvel {

// One classic CAN frame as a log holds it.
struct LogFrame {
    uint32_t id = 0;
    bool extended = false;
    bool remote = false;
    uint8_t dlc = 0; // 0 to 8; a data frame carries this many bytes, a remote frame none
    std::array<uint8_t, 8> data{};
    int64_t timeUs = 0; // microseconds on the log's own clock
    bool sent = false;  // sent by Korvel, not received
};

// What one line of a log turned out to be.
enum class LogLine {
    frame,
    structure, // blank lines, headers, comments, markers: nothing to load and nothing lost
    canFd,
    errorFrame,
    event, // a timed entry that is no CAN frame (statistics, status, markers of other tools)
    unreadable,
};

// The Tracer's times are seconds with three decimals in a two-digit field; a loaded log's times are
// taken modulo this period, the period of the adapters' own timestamps.
inline constexpr int64_t kTracerPeriodMs = 60000;

// The most frames one load puts into the Tracer, and the most bytes it reads: a larger log loads its
// beginning and says where it stopped.
inline constexpr std::size_t kMaxLogFrames = 2'000'000;
inline constexpr std::size_t kMaxLogBytes = std::size_t{1} << 30;
// Longer lines are unreadable; no log line of a classic frame comes close.
inline constexpr std::size_t kMaxLogLineBytes = 4096;

struct LogLoadOptions {
    char decimalSeparator = '.';
    std::size_t maxFrames = kMaxLogFrames;
    // The comment column of a frame's line, as the Tracer shows it for received frames; none when empty.
    std::function<void(const CanFrame& frame, std::string& comment)> comment;
    // When set, the Tracer text is handed over here in pieces of whole lines instead of being collected
    // in the result, so a large log is never held twice.
    std::function<void(std::string_view lines)> output;
};

struct LogLoadResult {
    std::string tracerText; // Tracer lines, each ended by CR LF (empty when the options name an output)
    std::size_t frames = 0;
    std::size_t canFdFrames = 0;
    std::size_t errorFrames = 0;
    std::size_t otherEvents = 0;
    std::size_t unreadableLines = 0;
    std::size_t firstSkippedLine = 0; // 1-based; 0 when every line loaded
    // Frames whose time went backwards or jumped by 60 s or more: they take the previous line's time.
    std::size_t timeJumps = 0;
    // Where reading stopped at a limit, and which; line 0 when the log was read whole.
    enum class Stop { none, frameLimit, sizeLimit };
    Stop stop = Stop::none;
    std::size_t stoppedAtLine = 0;

    [[nodiscard]] std::size_t skippedLines() const {
        return canFdFrames + errorFrames + otherEvents + unreadableLines;
    }
};

// Collects a log's frames as Tracer lines.
class TracerTextBuilder {
public:
    TracerTextBuilder(const LogLoadOptions& options, LogLoadResult& result);
    // False once the frame limit is reached; the frame is then not added.
    bool add(const LogFrame& frame);
    void skip(LogLine kind, std::size_t lineNumber);
    // Hands the last lines to the options' output.
    void flush();

private:
    int64_t tracerMs(int64_t timeUs);

    const LogLoadOptions& options_;
    LogLoadResult& result_;
    CanFrame frame_;
    std::string comment_;
    bool first_ = true;
    int64_t lastUs_ = 0;
    int64_t lastTracerMs_ = 0;
    int64_t offsetMs_ = 0;
};

struct LogSaveResult {
    std::string text;
    std::size_t frames = 0;
    std::size_t skippedLines = 0;     // Tracer lines that hold no frame that can be written
    std::size_t firstSkippedLine = 0; // 1-based; 0 when none
};

// A Tracer line as a frame, read as the replay reads it (time, identifier, length, data or "RTR"), but
// strictly: a line a log could not hold faithfully is refused. `timeMs` is the line's time field.
enum class TracerLineRead { frame, blank, malformed };
[[nodiscard]] TracerLineRead readTracerFrameLine(std::string_view line, LogFrame& frame, int64_t& timeMs);

// The Tracer's lines, without line ends: a source calls `line` with each of them in order.
using TracerLineVisit = std::function<void(std::string_view line)>;
using TracerLineSource = std::function<void(const TracerLineVisit& line)>;
// The same with each line's wall-clock time of reception (microseconds since the epoch, or kNoLineTime).
using TracerTimedLineVisit = std::function<void(std::string_view line, std::int64_t timeUs)>;
using TracerTimedLineSource = std::function<void(const TracerTimedLineVisit& line)>;
// The lines of a text with CR LF, LF or CR line ends.
[[nodiscard]] TracerLineSource tracerTextLines(std::string_view tracerText);
// Lines that carry no time of reception.
[[nodiscard]] TracerTimedLineSource untimedLines(const TracerLineSource& lines);

// Calls `visit` for every frame line of the Tracer, with the time made monotonic across the wraps of the
// time field; counts the other lines in `result`. The source is read twice, or three times when lines
// without a time of reception come before the first with one.
// Once a line has a time of reception, the frames get absolute times: a line's own, and for a line without
// one the time of the nearest line above (or, above the first, below) that has one, moved by the
// difference of their time fields.
void forEachTracerFrame(const TracerTimedLineSource& lines, LogSaveResult& result,
                        const std::function<void(const LogFrame&)>& visit);
void forEachTracerFrame(const TracerLineSource& lines, LogSaveResult& result,
                        const std::function<void(const LogFrame&)>& visit);

// Where a save's bytes go, piece by piece; false when a piece could not be written.
using LogSink = std::function<bool(std::string_view bytes)>;

// A log formatted into a buffer that goes to the sink each time it holds a block, so a save takes the
// same memory whatever the Tracer holds. After the sink refuses a piece nothing more is handed on.
class LogBlockWriter {
public:
    static constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

    explicit LogBlockWriter(const LogSink& sink);

    // Where whole lines are appended; lineDone() after each.
    [[nodiscard]] std::string& out() { return buffer_; }
    void lineDone() {
        if (buffer_.size() >= kBlockBytes)
            flush();
    }
    // False once the sink has refused a piece: formatting more is wasted.
    [[nodiscard]] bool ok() const { return ok_; }
    // Hands on the rest; false when any piece was refused.
    bool finish();

private:
    void flush();

    const LogSink& sink_;
    std::string buffer_;
    bool ok_ = true;
};

// The period the times of a Tracer wrap at, told by the largest time it holds: 60 s for the ASCII
// adapters, 65.536 s for adapters with a 16-bit millisecond counter, 100 s for the PC clock of PEAK frames.
[[nodiscard]] int64_t tracerWrapPeriodMs(int64_t largestTimeMs);

// Reads "123" or "123.4567" (at most 9 decimals) as microseconds; false for anything else.
[[nodiscard]] bool readSecondsText(std::string_view text, int64_t& timeUs);
// Appends "12.345678".
void appendSecondsText(std::string& out, int64_t timeUs);
// Blanks, tabs and line ends removed at both ends.
[[nodiscard]] std::string_view trimLogText(std::string_view text);
// The next run of characters that are not blanks; `rest` moves past it.
[[nodiscard]] std::string_view nextLogToken(std::string_view& rest);
// Hexadecimal value of a text of 1 to 8 hexadecimal digits.
[[nodiscard]] bool readHexText(std::string_view text, uint32_t& value);
void appendHex(std::string& out, uint32_t value, int width);

} // namespace korvel
