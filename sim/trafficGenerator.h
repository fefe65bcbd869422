// Decides which frames the adapter receives from the bus and when: the periodic frames (built-in vehicle
// and scenario), the sustained load stream, and the answers to remote requests. Knows nothing of lines,
// filters or queues; the engine does that with the frames it is handed.
#pragma once

#include "sim/periodicFrame.h"
#include "sim/rng.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <queue>
#include <vector>

namespace korvel::sim {

class TrafficGenerator {
public:
    using Sink = std::function<void(const SimFrame& frame, int64_t dueUs)>;

    static constexpr size_t kMaxSources = 512;
    static constexpr size_t kMaxRtrAnswers = 256;
    static constexpr uint32_t kLoadIds = 2048;
    static constexpr double kMaxRate = 1'000'000.0;
    static constexpr double kMinRate = 0.01;
    // A caller that comes back late gets at most this much of the past; a real bus would not wait either.
    static constexpr int64_t kMaxCatchUpUs = 1'000'000;

    explicit TrafficGenerator(uint64_t seed = 1);

    void reseed(uint64_t seed) { rng_.seed(seed); }
    void setVehicleEnabled(bool enabled);
    [[nodiscard]] bool vehicleEnabled() const { return vehicleEnabled_; }
    // False when the table is full or the period is out of range.
    bool addPeriodic(const PeriodicFrameSpec& periodic);
    bool addRtrAnswer(const SimFrame& answer);

    // Frames per second of the load stream; 0 turns it off. Out-of-range values are clamped.
    void setRate(double framesPerSecond, int64_t nowUs);
    [[nodiscard]] double rate() const { return rate_; }

    // The channel opened (frames start at nowUs) or closed (no frames until the next start).
    void start(int64_t nowUs);
    void stop();
    [[nodiscard]] bool running() const { return running_; }

    // Hands every frame due at or before untilUs to the sink, oldest first.
    void generate(int64_t untilUs, const Sink& sink);

    // The data frame that answers a remote request, if this identifier answers one.
    [[nodiscard]] std::optional<SimFrame> answerRemote(const SimFrame& request, int64_t nowUs);

    // The load stream's identifier and payload for its frame number `index`; public so tests can check it.
    [[nodiscard]] static SimFrame loadFrame(uint64_t index);

private:
    struct Source {
        PeriodicFrameSpec periodic;
        bool fromVehicle = false;
        uint64_t count = 0;
    };
    struct Due {
        int64_t dueUs;
        size_t index;
        bool operator>(const Due& other) const {
            return dueUs != other.dueUs ? dueUs > other.dueUs : index > other.index;
        }
    };

    [[nodiscard]] bool active(const Source& source) const { return !source.fromVehicle || vehicleEnabled_; }
    void schedule(size_t index, int64_t fromUs);
    [[nodiscard]] int64_t loadDueUs() const;
    SimFrame build(Source& source, int64_t dueUs);

    std::vector<Source> sources_;
    std::vector<SimFrame> rtrAnswers_;
    std::priority_queue<Due, std::vector<Due>, std::greater<>> queue_;
    Rng rng_;
    bool vehicleEnabled_ = true;
    bool running_ = false;
    int64_t startUs_ = 0;
    int64_t lastUntilUs_ = 0;
    double rate_ = 0.0;
    int64_t loadStartUs_ = 0;
    uint64_t loadIndex_ = 0;
    uint64_t loadTotal_ = 0;
};

} // namespace korvel::sim
