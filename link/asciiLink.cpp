#include "link/asciiLink.h"

#include <cmath>
#include <optional>

namespace korvel {

namespace {

// A BELL in the reply; silence is not a refusal, since some adapters answer nothing to a command.
bool isRefusal(const std::string& reply) {
    return reply.find('\a') != std::string::npos;
}

QString refusedText(const char* what, const std::string& command) {
    return QStringLiteral("CAN Interface refused the %1 command %2!")
        .arg(QLatin1String(what), QString::fromStdString(command));
}

} // namespace

void AsciiLink::beginSession() {
    lost_ = false;
    carryOver_.clear();
    awaitedAnswers_.clear();
    counters_ = {};
}

StartOutcome AsciiLink::start(const TransportSettings& s, SequenceHost& host) {
    std::string firmware = firmwareText(sendCommand("v"));
    if (firmware.empty() && !host.cancelled())
        firmware = firmwareText(sendCommand("V"));
    if (host.cancelled())
        return {StartOutcome::cancelled};
    if (firmware.empty())
        return {StartOutcome::notResponding};
    host.showVersion(QString::fromStdString(firmware));

    sendCommand("C");
    host.yield();
    const std::string bitrate = bitrateCommand(s.canBitrateIndex, s.userBitrate);
    const bool bitrateRefused = isRefusal(sendCommand(bitrate));
    host.yield();
    sendCommand(s.timestamps ? "Z1" : "Z0");
    host.yield();
    const bool firstOpenRefused = sendFilterCommands(s, host);
    host.yield();
    const std::string open = s.listenOnly ? "L" : "O";
    // The second open finds the channel open, which adapters refuse; only when both were refused did the
    // channel never open.
    const bool openRefused = isRefusal(sendCommand(open)) && firstOpenRefused;
    // An adapter that refuses the bitrate or the open is not receiving: saying "Connected" would be false.
    if ((bitrateRefused || openRefused) && !host.cancelled())
        return {StartOutcome::refused,
                refusedText(bitrateRefused ? "bitrate" : "open", bitrateRefused ? bitrate : open)};
    return {StartOutcome::started};
}

bool AsciiLink::sendFilterCommands(const TransportSettings& s, SequenceHost& host) {
    sendCommand("C");
    host.yield();
    if (s.maskFilter) {
        sendCommand("m" + s.acceptanceMaskText);
        host.yield();
        sendCommand("M" + s.acceptanceCodeText);
    } else {
        sendCommand("mFFFFFFFF");
    }
    host.yield();
    return isRefusal(sendCommand(s.listenOnly ? "L" : "O"));
}

void AsciiLink::applyFilter(const TransportSettings& settings, SequenceHost& host) {
    sendFilterCommands(settings, host);
}

bool AsciiLink::send(const CanFrame& frame, int tag) {
    return !lost_ && writeAwaited(frameLineOf(frame) + '\r', tag);
}

bool AsciiLink::writeFrameLine(std::string_view line) {
    return !lost_ && writeAwaited(std::string(line) + '\r', 0);
}

bool AsciiLink::writeAwaited(const std::string& text, int tag) {
    if (!writeFrameBytes(text))
        return false;
    if (awaitedAnswers_.size() >= kMaxAwaitedAnswers)
        awaitedAnswers_.pop_front();
    awaitedAnswers_.push_back(tag);
    return true;
}

int AsciiLink::frameAnswered(bool refused) {
    // A BELL with no frame waiting answered a command, not a frame.
    if (awaitedAnswers_.empty())
        return 0;
    if (refused)
        ++counters_.refused;
    const int tag = awaitedAnswers_.front();
    awaitedAnswers_.pop_front();
    return tag;
}

namespace {

// The frame line carries the adapter's four time digits after its data.
bool frameLineHasTime(std::string_view line, const CanFrame& frame) {
    const std::size_t bare =
        2 + frame.idText.view().size() + (frame.isRemote ? 0 : 2 * std::size_t{frame.dlc});
    return line.size() > bare;
}

int32_t hostTimeMs(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0)
        return 0;
    return static_cast<int32_t>(std::llround(seconds * 1000.0) % 60000);
}

} // namespace

bool AsciiLink::receive(ArrivedFrames& arrived, const ReceiveContext& context) {
    const bool ok = readAvailable(text_);
    // What arrived before a loss is still handed over; then the caller ends the link.
    if (text_.empty())
        return ok;
    takeCompleteLines(text_, cutter_, lines_);
    // A line without the adapter's time stamp takes the host's time of this read, in the adapter's units and
    // wrap, so periods and Tracer times stay real with time stamps off.
    std::optional<int32_t> hostMs;
    for (std::string_view line : lines_) {
        CanFrame frame;
        if (decodeFrameLine(line, context.decimalSeparator, frame)) {
            if (context.hostSeconds && !frameLineHasTime(line, frame)) {
                if (!hostMs)
                    hostMs = hostTimeMs(context.hostSeconds());
                frame.timestampMs = *hostMs;
                frame.timestampText = timestampText(*hostMs, context.decimalSeparator);
            }
            arrived.frames.push_back(frame);
        } else if (!line.empty() && isFrameLineLetter(line[0])) {
            countMalformedLine();
        } else if (line.data()[line.size()] == '\a') {
            // Every line ends where its CR or BELL stands in the text it points into.
            const int tag = frameAnswered(true);
            if (tag != 0)
                arrived.refusedTags.push_back(tag);
        } else if (line == "z" || line == "Z") {
            frameAnswered(false);
        }
    }
    return ok;
}

void AsciiLink::boundCarryOver() {
    if (carryOver_.size() <= kMaxCarryOver)
        return;
    // The oldest whole lines go, so what stays still begins at the start of a line.
    const auto cut = carryOver_.find_first_of("\r\a", carryOver_.size() - kMaxCarryOver);
    carryOver_.erase(0, cut == std::string::npos ? carryOver_.size() : cut + 1);
}

} // namespace korvel
