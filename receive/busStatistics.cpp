#include "receive/busStatistics.h"

#include "link/transport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace korvel {

namespace {

// The stuffed part of a frame, fed field by field: counts its bits and the stuff bits a transmitter
// inserts (one after every five equal bits; the inserted bit starts the next run, so it can itself be the
// first of five) and keeps the CRC of what it was given, in one pass.
struct StuffedBits {
    int bits = 0;
    int stuffBits = 0;
    uint16_t crc = 0;
    int run = 0;
    unsigned last = 2;

    // Without branches: a frame's bits are as good as random, and mispredicted jumps would cost more
    // than the counting.
    void stuff(unsigned bit) {
        ++bits;
        run = run * static_cast<int>(bit == last) + 1;
        const unsigned hit = run == 5 ? 1u : 0u;
        stuffBits += static_cast<int>(hit);
        last = bit ^ hit;
        run = hit != 0 ? 1 : run;
    }
    void push(uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            const unsigned bit = (value >> i) & 1u;
            const unsigned next = bit ^ ((crc >> 14) & 1u);
            crc = static_cast<uint16_t>(((crc << 1) & 0x7FFFu) ^ (0x4599u & (0u - next)));
            stuff(bit);
        }
    }
    // The CRC field: stuffed, but no part of the CRC itself.
    void pushCrc() {
        const uint16_t value = crc;
        for (int i = 14; i >= 0; --i)
            stuff((value >> i) & 1u);
    }
};

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

uint16_t canCrc15(std::span<const uint8_t> bits) {
    StuffedBits stream;
    for (const uint8_t bit : bits)
        stream.push(bit & 1u, 1);
    return stream.crc;
}

int canFrameWireBits(uint32_t id, bool extended, bool remote, uint8_t dlc, std::span<const uint8_t> data) {
    dlc = std::min<uint8_t>(dlc, 15);
    const std::size_t bytes = remote ? 0 : std::min<std::size_t>({dlc, 8, data.size()});
    StuffedBits stream;
    stream.push(0, 1); // start of frame
    if (extended) {
        stream.push((id >> 18) & 0x7FFu, 11);
        stream.push(0b11, 2); // substitute remote request, identifier extension
        stream.push(id & 0x3FFFFu, 18);
        stream.push(remote ? 1 : 0, 1);
        stream.push(0, 2); // reserved r1, r0
    } else {
        stream.push(id & 0x7FFu, 11);
        stream.push(remote ? 1 : 0, 1);
        stream.push(0, 2); // identifier extension, reserved r0
    }
    stream.push(dlc, 4);
    for (std::size_t i = 0; i < bytes; ++i)
        stream.push(data[i], 8);
    stream.pushCrc();
    return stream.bits + stream.stuffBits + kCanFixedTailBits;
}

int canFrameWireBits(const CanFrame& frame) {
    uint32_t id = 0;
    const std::string_view idText = frame.idText.view();
    if (idText.empty() || idText.size() > 8)
        return 0;
    for (const char c : idText) {
        const int d = hexDigit(c);
        if (d < 0)
            return 0;
        id = id << 4 | static_cast<uint32_t>(d);
    }
    std::array<uint8_t, 8> data{};
    std::size_t count = 0;
    if (!frame.isRemote) {
        const std::string_view text = frame.dataText.view();
        std::size_t i = 0;
        while (count < data.size()) {
            while (i < text.size() && text[i] == ' ')
                ++i;
            if (i >= text.size())
                break;
            const int hi = hexDigit(text[i]);
            const int lo = i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
            if (hi < 0 || lo < 0)
                return 0;
            data[count++] = static_cast<uint8_t>(hi << 4 | lo);
            i += 2;
        }
    }
    return canFrameWireBits(id, frame.isExtended, frame.isRemote, frame.dlc,
                            std::span<const uint8_t>(data.data(), count));
}

std::optional<uint32_t> bitrateOfIndex(int index) {
    static constexpr std::array<uint32_t, 9> kBitsPerSecond{10000,  20000,  50000,  100000, 125000,
                                                            250000, 500000, 800000, 1000000};
    if (index < 0 || index >= static_cast<int>(kBitsPerSecond.size()))
        return std::nullopt;
    return kBitsPerSecond[static_cast<std::size_t>(index)];
}

BusStatistics::BusStatistics(std::function<double()> clock) : clock_(std::move(clock)) {
    if (!clock_)
        clock_ = [] {
            return clockSeconds();
        };
    reset({});
}

void BusStatistics::reset(const BusAbilities& abilities) {
    abilities_ = abilities;
    // A bitrate of 0 is one the link did not report.
    if (abilities_.bitrate == 0u)
        abilities_.bitrate.reset();
    buckets_ = {};
    start_ = clock_();
    figures_ = {};
    if (abilities_.errorFrames) {
        figures_.errorFrames = 0;
        figures_.overruns = 0;
    }
    if (abilities_.droppedFrames)
        figures_.droppedFrames = 0;
    if (abilities_.bitrate) {
        figures_.loadPercent = 0.0;
        figures_.peakLoadPercent = 0.0;
    }
}

BusStatistics::Bucket& BusStatistics::bucketAt(double now) {
    const auto index = static_cast<int64_t>(std::floor(now / kBucketSeconds));
    Bucket& bucket = buckets_[static_cast<std::size_t>(((index % kBuckets) + kBuckets) % kBuckets)];
    if (bucket.index != index)
        bucket = Bucket{index, 0, 0, 0};
    return bucket;
}

void BusStatistics::add(int bits, bool sent) {
    Bucket& bucket = bucketAt(clock_());
    (sent ? bucket.sent : bucket.received) += 1;
    bucket.bits += static_cast<uint64_t>(std::max(bits, 0));
    (sent ? figures_.sentFrames : figures_.receivedFrames) += 1;
}

void BusStatistics::countErrorFrame(bool overrun, const std::optional<std::string>& state,
                                    std::optional<int> txErrors, std::optional<int> rxErrors,
                                    std::string words) {
    figures_.errorFrames = figures_.errorFrames.value_or(0) + 1;
    if (overrun)
        figures_.overruns = figures_.overruns.value_or(0) + 1;
    if (state)
        figures_.errorState = state;
    if (txErrors)
        figures_.txErrorCounter = txErrors;
    if (rxErrors)
        figures_.rxErrorCounter = rxErrors;
    figures_.lastError = std::move(words);
}

void BusStatistics::setDroppedFrames(uint64_t count) {
    figures_.droppedFrames = count;
}

BusFigures BusStatistics::sample() {
    const double now = clock_();
    const auto current = static_cast<int64_t>(std::floor(now / kBucketSeconds));
    uint64_t received = 0;
    uint64_t sent = 0;
    uint64_t bits = 0;
    for (const Bucket& bucket : buckets_) {
        if (bucket.index > current - kBuckets && bucket.index <= current) {
            received += bucket.received;
            sent += bucket.sent;
            bits += bucket.bits;
        }
    }
    // The window reaches back to the oldest bucket it holds, or to the start when that is later; never
    // shorter than a bucket, so the first frames after a start do not read as a burst.
    const double windowStart = std::max(start_, static_cast<double>(current - kBuckets + 1) * kBucketSeconds);
    const double span = std::max(now - windowStart, kBucketSeconds);
    figures_.receivedPerSecond = static_cast<double>(received) / span;
    figures_.sentPerSecond = static_cast<double>(sent) / span;
    figures_.peakReceivedPerSecond = std::max(figures_.peakReceivedPerSecond, figures_.receivedPerSecond);
    figures_.peakSentPerSecond = std::max(figures_.peakSentPerSecond, figures_.sentPerSecond);
    if (abilities_.bitrate) {
        const double load =
            100.0 * static_cast<double>(bits) / (static_cast<double>(*abilities_.bitrate) * span);
        figures_.loadPercent = load;
        figures_.peakLoadPercent = std::max(figures_.peakLoadPercent.value_or(0.0), load);
    }
    return figures_;
}

std::string figureText(const std::optional<uint64_t>& value) {
    return value ? std::to_string(*value) : std::string("unknown");
}

std::string percentText(const std::optional<double>& value) {
    if (!value)
        return "unknown";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %%", *value);
    return text;
}

std::string compactBusText(const BusFigures& figures) {
    char text[96];
    std::snprintf(text, sizeof text, "Rx %.0f/s  Tx %.0f/s  Load ", figures.receivedPerSecond,
                  figures.sentPerSecond);
    return text + (figures.loadPercent ? percentText(figures.loadPercent) : std::string("?"));
}

} // namespace korvel
