#include "sim/adapterEngine.h"

#include <algorithm>

namespace korvel::sim {

namespace {

constexpr std::string_view kOk = "\r";
constexpr std::string_view kBell = "\a";

size_t faultIndex(Fault fault) {
    return static_cast<size_t>(fault);
}

uint64_t countKey(const SimFrame& frame, bool lowerCase) {
    return (uint64_t{lowerCase} << 41) | (uint64_t{frame.extended} << 40) | (uint64_t{frame.id} << 8) |
           frame.dlc;
}

template <typename T> void pushBounded(std::deque<T>& log, T entry) {
    if (log.size() >= AdapterEngine::kMaxLogEntries) {
        log.pop_front();
    }
    log.push_back(std::move(entry));
}

} // namespace

AdapterEngine::AdapterEngine(uint64_t seed)
    : traffic_(seed), sink_([this](const SimFrame& frame, int64_t dueUs) { deliver(frame, dueUs); }),
      faultRng_(seed ^ 0x5DEECE66DULL) {
}

int64_t AdapterEngine::clampTime(int64_t nowUs) {
    // A clock that steps back must not reorder traffic or make timestamps negative.
    if (!timeSeen_ || nowUs > lastNowUs_) {
        lastNowUs_ = nowUs;
        timeSeen_ = true;
    }
    return lastNowUs_;
}

void AdapterEngine::hostWrite(std::string_view bytes, int64_t nowUs) {
    if (vanished_) {
        return;
    }
    nowUs = clampTime(nowUs);
    generateUntil(nowUs);
    for (char c : bytes) {
        if (vanished_) {
            return;
        }
        if (c == '\r') {
            if (!lineOverflow_ && !line_.empty()) {
                handleLine(line_, nowUs);
            }
            line_.clear();
            lineOverflow_ = false;
        } else if (c == '\n' || lineOverflow_) {
            // Line feeds after CR are common from terminals; the rest of an overlong line is dropped.
        } else if (line_.size() >= kMaxLineLength) {
            line_.clear();
            lineOverflow_ = true;
            if (!faultOn(Fault::Silent)) {
                appendReply(kBell);
            }
        } else {
            line_.push_back(c);
        }
    }
}

void AdapterEngine::advance(int64_t nowUs) {
    if (vanished_) {
        return;
    }
    generateUntil(clampTime(nowUs));
}

// A timed action takes effect at its own time: frames due before it are sent as things were, frames due
// at that very time already see the change ("at 1s vanish" sends nothing stamped 1 s).
void AdapterEngine::generateUntil(int64_t nowUs) {
    while (firstOpenUs_ && nextAction_ < timeline_.size() && !vanished_) {
        const int64_t at = *firstOpenUs_ + timeline_[nextAction_].afterOpenUs;
        if (at > nowUs) {
            break;
        }
        traffic_.generate(at - 1, sink_);
        runTimeline(at);
    }
    if (!vanished_) {
        traffic_.generate(nowUs, sink_);
    }
}

void AdapterEngine::runTimeline(int64_t nowUs) {
    const TimedAction action = timeline_[nextAction_++];
    switch (action.kind) {
    case TimedAction::Kind::FaultOn:
        setFault(action.fault, true);
        break;
    case TimedAction::Kind::FaultOff:
        setFault(action.fault, false);
        break;
    case TimedAction::Kind::Rate:
        traffic_.setRate(action.rate, nowUs);
        break;
    case TimedAction::Kind::Vanish:
        vanish();
        break;
    }
}

void AdapterEngine::handleLine(std::string_view line, int64_t nowUs) {
    pushBounded(commandLog_, std::string(line));
    if (faultOn(Fault::Silent)) {
        return;
    }
    if (faultOn(Fault::BellOnly) || (faultOn(Fault::Refuse) && line[0] != 'v' && line[0] != 'V')) {
        appendReply(kBell);
        return;
    }
    struct Command {
        char letter;
        Handler handler;
    };
    static constexpr Command kCommands[] = {
        {'v', &AdapterEngine::versionLower},    {'V', &AdapterEngine::versionUpper},
        {'C', &AdapterEngine::close},           {'S', &AdapterEngine::standardBitrate},
        {'s', &AdapterEngine::registerBitrate}, {'Z', &AdapterEngine::timestampsCommand},
        {'m', &AdapterEngine::maskCommand},     {'M', &AdapterEngine::codeCommand},
        {'O', &AdapterEngine::openNormal},      {'L', &AdapterEngine::openListenOnly},
        {'t', &AdapterEngine::frameCommand},    {'T', &AdapterEngine::frameCommand},
        {'r', &AdapterEngine::frameCommand},    {'R', &AdapterEngine::frameCommand},
    };
    for (const Command& command : kCommands) {
        if (command.letter == line[0]) {
            appendReply((this->*command.handler)(line, nowUs));
            return;
        }
    }
    appendReply(kBell);
}

std::string AdapterEngine::versionLower(std::string_view line, int64_t) {
    return line.size() == 1 && !versionLower_.empty() ? versionLower_ + "\r" : std::string(kBell);
}

std::string AdapterEngine::versionUpper(std::string_view line, int64_t) {
    return line.size() == 1 && !versionUpper_.empty() ? versionUpper_ + "\r" : std::string(kBell);
}

// Closing a closed channel is answered with CR: the host's connect sequence closes first whatever the
// state, and a BELL there would only make it send the command again.
std::string AdapterEngine::close(std::string_view line, int64_t) {
    if (line.size() != 1 || side_ == Side::Binary) {
        return std::string(kBell);
    }
    closeChannel();
    return std::string(kOk);
}

std::string AdapterEngine::standardBitrate(std::string_view line, int64_t) {
    if (line.size() != 2 || line[1] < '0' || line[1] > '8' || channelOpen()) {
        return std::string(kBell);
    }
    bitrateCommand_ = std::string(line);
    return std::string(kOk);
}

// BTR0/BTR1 (4 digits) for SJA1000 firmware, BRGCON1..3 (6 digits) for others; 3 digits is what some
// firmware takes as a short form.
std::string AdapterEngine::registerBitrate(std::string_view line, int64_t) {
    const size_t digits = line.size() - 1;
    if ((digits != 3 && digits != 4 && digits != 6) || !parseHex(line.substr(1), digits) || channelOpen()) {
        return std::string(kBell);
    }
    bitrateCommand_ = std::string(line);
    return std::string(kOk);
}

std::string AdapterEngine::timestampsCommand(std::string_view line, int64_t) {
    if (line != "Z0" && line != "Z1") {
        return std::string(kBell);
    }
    timestamps_ = line[1] == '1';
    return std::string(kOk);
}

std::string AdapterEngine::maskCommand(std::string_view line, int64_t) {
    const auto value = parseHex(line.substr(1), 8);
    if (!value || channelOpen()) {
        return std::string(kBell);
    }
    mask_ = *value;
    return std::string(kOk);
}

std::string AdapterEngine::codeCommand(std::string_view line, int64_t) {
    const auto value = parseHex(line.substr(1), 8);
    if (!value || channelOpen()) {
        return std::string(kBell);
    }
    code_ = *value;
    return std::string(kOk);
}

std::string AdapterEngine::openNormal(std::string_view line, int64_t nowUs) {
    if (line.size() != 1 || channelOpen() || bitrateCommand_.empty()) {
        return std::string(kBell);
    }
    openChannel(Side::Ascii, false, nowUs);
    return std::string(kOk);
}

std::string AdapterEngine::openListenOnly(std::string_view line, int64_t nowUs) {
    if (line.size() != 1 || channelOpen() || bitrateCommand_.empty()) {
        return std::string(kBell);
    }
    openChannel(Side::Ascii, true, nowUs);
    return std::string(kOk);
}

std::string AdapterEngine::frameCommand(std::string_view line, int64_t nowUs) {
    const auto frame = parseHostFrameLine(line);
    if (!frame || side_ != Side::Ascii || listenOnly_) {
        return std::string(kBell);
    }
    // The acknowledgement goes out before any answer the frame provokes, as on a real bus.
    appendReply(frame->extended ? "Z\r" : "z\r");
    hostTransmitted(*frame, nowUs);
    return {};
}

void AdapterEngine::hostTransmitted(const SimFrame& frame, int64_t nowUs) {
    ++framesTransmitted_;
    pushBounded(transmitted_, frame);
    pushBounded(transmittedTimesUs_, nowUs);
    if (arrivals_.size() < arrivalLimit_) {
        arrivals_.push_back({frame, nowUs});
    }
    if (frame.remote) {
        if (const auto answer = traffic_.answerRemote(frame, nowUs)) {
            deliver(*answer, nowUs);
        }
    }
}

void AdapterEngine::openChannel(Side side, bool listenOnly, int64_t nowUs) {
    side_ = side;
    listenOnly_ = listenOnly;
    openUs_ = nowUs;
    if (!firstOpenUs_) {
        firstOpenUs_ = nowUs;
    }
    traffic_.start(nowUs);
}

void AdapterEngine::closeChannel() {
    side_ = Side::None;
    listenOnly_ = false;
    traffic_.stop();
    binaryQueue_.clear();
}

void AdapterEngine::maybeGarbage() {
    if (!faultOn(Fault::Garbage) || faultRng_.below(8) != 0) {
        return;
    }
    const uint32_t count = 1 + faultRng_.below(4);
    for (uint32_t i = 0; i < count; ++i) {
        char c = static_cast<char>(faultRng_.byte());
        if (c == '\r' || c == '\a') {
            c = '?';
        }
        out_.push_back(c);
    }
}

void AdapterEngine::appendReply(std::string_view reply) {
    if (reply.empty()) {
        return;
    }
    if (pendingHostBytes() + reply.size() > kMaxHostQueueBytes + kReplySlackBytes) {
        ++overruns_;
        return;
    }
    maybeGarbage();
    out_.append(reply);
}

void AdapterEngine::deliver(const SimFrame& frame, int64_t dueUs) {
    if (faultOn(Fault::Silent) || side_ == Side::None) {
        return;
    }
    if (side_ == Side::Binary) {
        if (binaryQueue_.size() >= kMaxBinaryQueue) {
            ++overruns_;
            return;
        }
        binaryQueue_.emplace_back(frame, dueUs);
        ++framesSent_;
        ++sentCounts_[countKey(frame, false)];
        return;
    }
    if (!acceptancePasses(frame, code_, mask_)) {
        ++framesFiltered_;
        return;
    }
    // The longest line is 27 bytes, plus a little garbage.
    if (pendingHostBytes() + 32 > kMaxHostQueueBytes) {
        ++overruns_;
        return;
    }
    std::optional<uint16_t> stamp;
    if (timestamps_) {
        const int64_t ms = std::max<int64_t>(0, dueUs - openUs_) / 1000;
        stamp = static_cast<uint16_t>(ms % kTimestampWrapMs);
    }
    const bool lower = faultOn(Fault::LowerCaseIds);
    maybeGarbage();
    appendFrameLine(out_, frame, stamp, lower);
    ++framesSent_;
    ++sentCounts_[countKey(frame, lower)];
}

std::string_view AdapterEngine::peekHostBytes() const {
    return std::string_view(out_).substr(outHead_);
}

void AdapterEngine::consumeHostBytes(size_t count) {
    outHead_ += std::min(count, pendingHostBytes());
    if (outHead_ == out_.size()) {
        out_.clear();
        outHead_ = 0;
    } else if (outHead_ > 64 * 1024 && outHead_ > out_.size() / 2) {
        out_.erase(0, outHead_);
        outHead_ = 0;
    }
}

std::string AdapterEngine::takeHostBytes(size_t maxBytes) {
    std::string bytes(peekHostBytes().substr(0, maxBytes));
    consumeHostBytes(bytes.size());
    return bytes;
}

void AdapterEngine::discardHostBytes() {
    out_.clear();
    outHead_ = 0;
}

size_t AdapterEngine::nextChunkLimit() {
    return faultOn(Fault::SplitReplies) ? 1 + faultRng_.below(7) : SIZE_MAX;
}

BinaryStatus AdapterEngine::binaryInit(uint16_t btr0btr1, int64_t nowUs) {
    if (vanished_) {
        return BinaryStatus::Gone;
    }
    nowUs = clampTime(nowUs);
    generateUntil(nowUs);
    if (channelOpen()) {
        return BinaryStatus::AlreadyOpen;
    }
    binaryBtr_ = btr0btr1;
    openChannel(Side::Binary, false, nowUs);
    return BinaryStatus::Ok;
}

void AdapterEngine::binaryClose() {
    if (side_ == Side::Binary) {
        closeChannel();
    }
}

bool AdapterEngine::binaryRead(SimFrame& frame, int64_t nowUs, int64_t* receivedUs) {
    if (vanished_ || side_ != Side::Binary) {
        return false;
    }
    generateUntil(clampTime(nowUs));
    if (binaryQueue_.empty()) {
        return false;
    }
    frame = binaryQueue_.front().first;
    if (receivedUs) {
        *receivedUs = binaryQueue_.front().second;
    }
    binaryQueue_.pop_front();
    return true;
}

BinaryStatus AdapterEngine::binaryWrite(const SimFrame& frame, int64_t nowUs) {
    if (vanished_) {
        return BinaryStatus::Gone;
    }
    if (side_ != Side::Binary) {
        return BinaryStatus::NotOpen;
    }
    if (frame.dlc > 8 || frame.id > (frame.extended ? kMaxExtendedId : kMaxStandardId)) {
        return BinaryStatus::BadFrame;
    }
    nowUs = clampTime(nowUs);
    generateUntil(nowUs);
    if (!vanished_ && !faultOn(Fault::Silent)) {
        SimFrame sent = frame;
        if (sent.remote) {
            sent.data.fill(0);
        }
        hostTransmitted(sent, nowUs);
    }
    return vanished_ ? BinaryStatus::Gone : BinaryStatus::Ok;
}

bool AdapterEngine::loadScenario(std::string_view text, std::string* error) {
    std::string problem;
    const auto scenario = parseScenario(text, &problem);
    if (!scenario) {
        lastError_ = problem;
        if (error) {
            *error = problem;
        }
        return false;
    }
    applyScenario(*scenario);
    return true;
}

void AdapterEngine::applyScenario(const Scenario& scenario) {
    if (scenario.seed) {
        traffic_.reseed(*scenario.seed);
        faultRng_.seed(*scenario.seed ^ 0x5DEECE66DULL);
    }
    if (scenario.vehicle) {
        traffic_.setVehicleEnabled(*scenario.vehicle);
    }
    for (const VersionReply& version : scenario.versions) {
        setVersionReply(version.letter, version.reply);
    }
    for (const PeriodicFrameSpec& periodic : scenario.frames) {
        traffic_.addPeriodic(periodic);
    }
    for (const SimFrame& answer : scenario.rtrAnswers) {
        traffic_.addRtrAnswer(answer);
    }
    if (scenario.rate) {
        setRate(*scenario.rate);
    }
    timeline_.insert(timeline_.end(), scenario.timeline.begin(), scenario.timeline.end());
    std::stable_sort(
        timeline_.begin() + static_cast<std::ptrdiff_t>(nextAction_), timeline_.end(),
        [](const TimedAction& a, const TimedAction& b) { return a.afterOpenUs < b.afterOpenUs; });
    for (Fault fault : scenario.faults) {
        setFault(fault, true);
    }
}

void AdapterEngine::setVersionReply(char letter, std::string_view reply) {
    if (reply.find_first_of("\r\a") != std::string_view::npos) {
        return;
    }
    (letter == 'v' ? versionLower_ : versionUpper_) = std::string(reply.substr(0, 32));
}

void AdapterEngine::setFault(Fault fault, bool on) {
    if (fault == Fault::Vanish) {
        if (on) {
            vanish();
        }
        return;
    }
    faults_[faultIndex(fault)] = on;
}

bool AdapterEngine::faultOn(Fault fault) const {
    return fault == Fault::Vanish ? vanished_ : faults_[faultIndex(fault)];
}

void AdapterEngine::vanish() {
    if (vanished_) {
        return;
    }
    vanished_ = true;
    closeChannel();
    discardHostBytes();
    line_.clear();
    lastError_ = "the adapter vanished";
}

std::map<std::pair<std::string, int>, uint64_t> AdapterEngine::sentCounts() const {
    std::map<std::pair<std::string, int>, uint64_t> counts;
    for (const auto& [key, count] : sentCounts_) {
        SimFrame frame;
        frame.extended = (key >> 40) & 1;
        frame.id = static_cast<uint32_t>((key >> 8) & kMaxExtendedId);
        const bool lower = (key >> 41) & 1;
        counts[{idText(frame, lower), static_cast<int>(key & 0xFF)}] += count;
    }
    return counts;
}

std::vector<std::string> AdapterEngine::commandLog() const {
    return {commandLog_.begin(), commandLog_.end()};
}

std::vector<SimFrame> AdapterEngine::transmittedFrames() const {
    return {transmitted_.begin(), transmitted_.end()};
}

std::vector<int64_t> AdapterEngine::transmittedTimesUs() const {
    return {transmittedTimesUs_.begin(), transmittedTimesUs_.end()};
}

} // namespace korvel::sim
