#include "sim/trafficGenerator.h"

#include "sim/vehicle.h"

#include <algorithm>
#include <cmath>

namespace korvel::sim {

TrafficGenerator::TrafficGenerator(uint64_t seed) : rng_(seed) {
    for (const PeriodicFrameSpec& periodic : defaultVehicle()) {
        sources_.push_back(Source{periodic, true, 0});
    }
}

void TrafficGenerator::setVehicleEnabled(bool enabled) {
    vehicleEnabled_ = enabled;
    if (running_) {
        queue_ = {};
        for (size_t i = 0; i < sources_.size(); ++i) {
            if (active(sources_[i])) {
                schedule(i, lastUntilUs_);
            }
        }
    }
}

bool TrafficGenerator::addPeriodic(const PeriodicFrameSpec& periodic) {
    if (sources_.size() >= kMaxSources + defaultVehicle().size() || periodic.periodUs < kMinPeriodUs ||
        periodic.periodUs > kMaxPeriodUs || periodic.frame.dlc > 8) {
        return false;
    }
    sources_.push_back(Source{periodic, false, 0});
    if (running_) {
        schedule(sources_.size() - 1, lastUntilUs_);
    }
    return true;
}

bool TrafficGenerator::addRtrAnswer(const SimFrame& answer) {
    if (rtrAnswers_.size() >= kMaxRtrAnswers || answer.dlc > 8) {
        return false;
    }
    rtrAnswers_.push_back(answer);
    rtrAnswers_.back().remote = false;
    return true;
}

void TrafficGenerator::setRate(double framesPerSecond, int64_t nowUs) {
    // Below one frame in 100 s the schedule's arithmetic would overflow; such a stream is off anyway.
    if (!std::isfinite(framesPerSecond) || framesPerSecond < kMinRate) {
        framesPerSecond = 0;
    }
    rate_ = std::min(framesPerSecond, kMaxRate);
    loadStartUs_ = nowUs;
    loadIndex_ = 0;
}

void TrafficGenerator::start(int64_t nowUs) {
    running_ = true;
    startUs_ = nowUs;
    lastUntilUs_ = nowUs;
    queue_ = {};
    for (size_t i = 0; i < sources_.size(); ++i) {
        if (active(sources_[i])) {
            schedule(i, nowUs);
        }
    }
    loadStartUs_ = nowUs;
    loadIndex_ = 0;
}

void TrafficGenerator::stop() {
    running_ = false;
    queue_ = {};
}

// Spreads the vehicle's first frames over their periods, so they do not all arrive at once; scripted
// frames start on the dot, which keeps scenario timing easy to predict.
void TrafficGenerator::schedule(size_t index, int64_t fromUs) {
    const Source& source = sources_[index];
    const int64_t phase =
        source.fromVehicle ? static_cast<int64_t>(index * 3371) % source.periodic.periodUs : 0;
    queue_.push(Due{fromUs + phase, index});
}

int64_t TrafficGenerator::loadDueUs() const {
    return loadStartUs_ + static_cast<int64_t>(static_cast<double>(loadIndex_) * 1e6 / rate_);
}

SimFrame TrafficGenerator::loadFrame(uint64_t index) {
    SimFrame frame;
    const auto slot = static_cast<uint32_t>(index % kLoadIds);
    // The upper half of the standard range and a block of extended identifiers: no clash with the vehicle.
    frame.extended = slot >= kLoadIds / 2;
    frame.id = frame.extended ? 0x10000000U + (slot - kLoadIds / 2) : 0x400U + slot;
    frame.dlc = static_cast<uint8_t>(slot % 9);
    const uint64_t round = index / kLoadIds;
    frame.data[0] = static_cast<uint8_t>(round);
    frame.data[1] = static_cast<uint8_t>(slot);
    for (int i = 2; i < 8; ++i) {
        frame.data[i] = static_cast<uint8_t>(round >> (8 * (i - 1)));
    }
    return frame;
}

SimFrame TrafficGenerator::build(Source& source, int64_t dueUs) {
    const PeriodicFrameSpec& periodic = source.periodic;
    SimFrame frame = periodic.frame;
    if (!frame.remote) {
        if (periodic.signal >= 0) {
            fillVehiclePayload(periodic.signal, source.count, dueUs - startUs_, rng_, frame);
        } else {
            for (size_t i = 0; i < frame.dlc; ++i) {
                if (periodic.kinds[i] == ByteKind::Counter) {
                    frame.data[i] = static_cast<uint8_t>(source.count);
                } else if (periodic.kinds[i] == ByteKind::Random) {
                    frame.data[i] = rng_.byte();
                }
            }
        }
    }
    ++source.count;
    return frame;
}

void TrafficGenerator::generate(int64_t untilUs, const Sink& sink) {
    if (!running_) {
        return;
    }
    lastUntilUs_ = std::max(lastUntilUs_, untilUs);
    const int64_t oldest = untilUs - kMaxCatchUpUs;
    if (rate_ > 0 && loadDueUs() < oldest) {
        const auto skipped = static_cast<uint64_t>(static_cast<double>(oldest - loadStartUs_) * rate_ / 1e6);
        loadIndex_ = std::max(loadIndex_, skipped);
    }
    for (;;) {
        const bool periodicDue = !queue_.empty() && queue_.top().dueUs <= untilUs;
        const bool loadDue = rate_ > 0 && loadDueUs() <= untilUs;
        if (!periodicDue && !loadDue) {
            return;
        }
        if (loadDue && (!periodicDue || loadDueUs() < queue_.top().dueUs)) {
            const int64_t due = loadDueUs();
            sink(loadFrame(loadTotal_++), due);
            ++loadIndex_;
            continue;
        }
        Due next = queue_.top();
        queue_.pop();
        Source& source = sources_[next.index];
        if (!active(source)) {
            continue;
        }
        const int64_t period = source.periodic.periodUs;
        if (next.dueUs < oldest) {
            next.dueUs += (oldest - next.dueUs + period - 1) / period * period;
            queue_.push(next);
            continue;
        }
        if (source.periodic.permille >= 1000 || rng_.below(1000) < source.periodic.permille) {
            sink(build(source, next.dueUs), next.dueUs);
        }
        next.dueUs += period;
        queue_.push(next);
    }
}

std::optional<SimFrame> TrafficGenerator::answerRemote(const SimFrame& request, int64_t nowUs) {
    for (const SimFrame& answer : rtrAnswers_) {
        if (answer.id == request.id && answer.extended == request.extended) {
            return answer;
        }
    }
    for (Source& source : sources_) {
        const SimFrame& f = source.periodic.frame;
        if (source.periodic.answersRtr && active(source) && !f.remote && f.id == request.id &&
            f.extended == request.extended) {
            return build(source, nowUs);
        }
    }
    return std::nullopt;
}

} // namespace korvel::sim
