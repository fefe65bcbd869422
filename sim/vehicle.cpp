#include "sim/vehicle.h"

#include <algorithm>
#include <string_view>

namespace korvel::sim {

namespace {

enum Signal : int {
    EngineRpm,
    Brake,
    Steering,
    WheelSpeeds,
    Dynamics,
    Gear,
    Torque,
    Pedals,
    Temperatures,
    Battery,
    Fuel,
    Body,
    Indicators,
    Climate,
    Odometer,
    Trip,
    DateTime,
    Vin,
    Heartbeat,
    Tyres,
    Noise,
    AliveChecksum,
    RemoteRequest,
    HeavyEngine,
    HeavySpeed,
    HeavyTemperatures,
    HeavyFuelRate,
    HeavyAmbient,
    HeavyOdometer,
    HeavyDiagnostics,
    HeavyTransport,
};

struct VehicleMessage {
    uint32_t id;
    bool extended;
    bool remote;
    int periodMs;
    uint8_t dlc;
    Signal signal;
    uint16_t permille;
    bool answersRtr;
};

// The whole vehicle at a glance: identifier, kind, period, length, payload.
constexpr VehicleMessage kMessages[] = {
    {0x0C0, false, false, 10, 8, EngineRpm, 1000, false},
    {0x0C8, false, false, 10, 8, Brake, 1000, false},
    {0x0D0, false, false, 10, 6, Steering, 1000, false},
    {0x0E0, false, false, 20, 8, WheelSpeeds, 1000, false},
    {0x0F0, false, false, 20, 8, Dynamics, 1000, false},
    {0x100, false, false, 20, 4, Gear, 1000, false},
    {0x110, false, false, 50, 8, Torque, 1000, false},
    {0x120, false, false, 50, 2, Pedals, 1000, false},
    {0x1A0, false, false, 100, 8, Temperatures, 1000, true},
    {0x1B0, false, false, 100, 4, Battery, 1000, false},
    {0x1C0, false, false, 100, 3, Fuel, 1000, false},
    {0x200, false, false, 100, 8, Body, 1000, true},
    {0x210, false, false, 200, 1, Indicators, 1000, false},
    {0x220, false, false, 200, 8, Climate, 1000, false},
    {0x250, false, false, 500, 4, Odometer, 1000, false},
    {0x260, false, false, 500, 5, Trip, 1000, false},
    {0x280, false, false, 1000, 8, DateTime, 1000, false},
    {0x2A0, false, false, 1000, 8, Vin, 1000, false},
    {0x300, false, false, 250, 0, Heartbeat, 1000, false},
    {0x310, false, false, 1000, 7, Tyres, 1000, false},
    {0x320, false, false, 50, 8, Noise, 1000, false},
    {0x3E0, false, false, 100, 8, AliveChecksum, 1000, false},
    {0x3FF, false, true, 1000, 8, RemoteRequest, 250, false},
    {0x0CF00400, true, false, 10, 8, HeavyEngine, 1000, false},
    {0x18FEF100, true, false, 100, 8, HeavySpeed, 1000, false},
    {0x18FEEE00, true, false, 1000, 8, HeavyTemperatures, 1000, true},
    {0x18FEF200, true, false, 100, 8, HeavyFuelRate, 1000, false},
    {0x18FEF500, true, false, 1000, 8, HeavyAmbient, 1000, false},
    {0x18FEC100, true, false, 1000, 8, HeavyOdometer, 1000, false},
    {0x18FECA00, true, false, 1000, 8, HeavyDiagnostics, 1000, false},
    {0x1CEBFF00, true, false, 500, 8, HeavyTransport, 1000, false},
    {0x18EA0000, true, true, 1000, 3, RemoteRequest, 250, false},
};

constexpr std::string_view kVin = "KRVSIM0DEMO000042";

// 0..1000..0 over one period: smooth enough for gauges, and integer so every platform agrees.
int64_t triangle(int64_t ms, int64_t periodMs) {
    const int64_t phase = ms % periodMs;
    const int64_t half = periodMs / 2;
    return phase < half ? phase * 1000 / half : (periodMs - phase) * 1000 / (periodMs - half);
}

void put16be(SimFrame& f, int pos, uint32_t v) {
    f.data[pos] = static_cast<uint8_t>(v >> 8);
    f.data[pos + 1] = static_cast<uint8_t>(v);
}

void put16le(SimFrame& f, int pos, uint32_t v) {
    f.data[pos] = static_cast<uint8_t>(v);
    f.data[pos + 1] = static_cast<uint8_t>(v >> 8);
}

void put32le(SimFrame& f, int pos, uint32_t v) {
    put16le(f, pos, v & 0xFFFF);
    put16le(f, pos + 2, v >> 16);
}

struct Quantities {
    int64_t ms;
    uint32_t speedCentiKmh;
    uint32_t rpm;
    int32_t coolantC;
    uint32_t fuelPermille;
    uint32_t odometerDeciKm;
};

Quantities quantitiesAt(int64_t ms) {
    Quantities q{};
    q.ms = ms;
    q.speedCentiKmh = static_cast<uint32_t>(triangle(ms, 120'000) * 13);
    q.rpm = static_cast<uint32_t>(800 + triangle(ms, 9'000) * 3 + q.speedCentiKmh / 10);
    q.coolantC = static_cast<int32_t>(std::min<int64_t>(90, 20 + ms / 1714));
    q.fuelPermille = static_cast<uint32_t>(std::max<int64_t>(50, 750 - ms / 6000));
    q.odometerDeciKm = static_cast<uint32_t>(1'234'560 + ms / 5000);
    return q;
}

uint8_t gearFor(uint32_t speedCentiKmh) {
    constexpr uint32_t kLimits[] = {1500, 3000, 5000, 7000, 9000};
    uint8_t gear = 1;
    for (uint32_t limit : kLimits) {
        if (speedCentiKmh >= limit) {
            ++gear;
        }
    }
    return gear;
}

void fillHeavy(Signal signal, const Quantities& q, uint64_t count, Rng& rng, SimFrame& f) {
    f.data.fill(0xFF);
    switch (signal) {
    case HeavyEngine:
        f.data[0] = 0xF0;
        f.data[2] = static_cast<uint8_t>(125 + q.rpm / 100);
        put16le(f, 3, q.rpm * 8);
        f.data[5] = 0x00;
        f.data[6] = 0xF0;
        break;
    case HeavySpeed:
        put16le(f, 1, q.speedCentiKmh * 256 / 100);
        f.data[3] = 0x00;
        break;
    case HeavyTemperatures:
        f.data[0] = static_cast<uint8_t>(q.coolantC + 40);
        f.data[1] = static_cast<uint8_t>(q.coolantC + 35);
        put16le(f, 2, static_cast<uint32_t>((q.coolantC + 273) * 32));
        break;
    case HeavyFuelRate:
        put16le(f, 0, q.rpm / 20 + rng.below(8));
        put16le(f, 2, 500 + rng.below(50));
        break;
    case HeavyAmbient:
        f.data[0] = 0xC8;
        put16le(f, 3, static_cast<uint32_t>((20 + 273) * 32));
        break;
    case HeavyOdometer:
        put32le(f, 0, q.odometerDeciKm * 20);
        put32le(f, 4, static_cast<uint32_t>(q.ms / 250));
        break;
    case HeavyDiagnostics:
        f.data[0] = 0x00;
        f.data[1] = 0xFF;
        f.data[2] = f.data[3] = f.data[4] = f.data[5] = 0x00;
        break;
    default: // HeavyTransport: a sequence number and a running pattern
        f.data[0] = static_cast<uint8_t>(count % 255 + 1);
        for (int i = 1; i < 8; ++i) {
            f.data[i] = static_cast<uint8_t>(count * 7 + static_cast<uint64_t>(i));
        }
        break;
    }
}

} // namespace

const std::vector<PeriodicFrameSpec>& defaultVehicle() {
    static const std::vector<PeriodicFrameSpec> vehicle = [] {
        std::vector<PeriodicFrameSpec> specs;
        for (const VehicleMessage& m : kMessages) {
            PeriodicFrameSpec periodic;
            periodic.frame.id = m.id;
            periodic.frame.extended = m.extended;
            periodic.frame.remote = m.remote;
            periodic.frame.dlc = m.dlc;
            periodic.periodUs = int64_t{m.periodMs} * 1000;
            periodic.signal = m.signal;
            periodic.permille = m.permille;
            periodic.answersRtr = m.answersRtr;
            specs.push_back(periodic);
        }
        return specs;
    }();
    return vehicle;
}

void fillVehiclePayload(int signal, uint64_t count, int64_t sinceOpenUs, Rng& rng, SimFrame& f) {
    const Quantities q = quantitiesAt(sinceOpenUs / 1000);
    const auto counter = static_cast<uint8_t>(count);
    f.data.fill(0);
    switch (static_cast<Signal>(signal)) {
    case EngineRpm:
        put16be(f, 0, q.rpm * 4);
        f.data[2] = static_cast<uint8_t>(triangle(q.ms, 9'000) / 4);
        f.data[3] = static_cast<uint8_t>(triangle(q.ms, 7'000) / 5);
        f.data[6] = counter & 0x0F;
        f.data[7] = static_cast<uint8_t>(f.data[0] ^ f.data[1] ^ f.data[2] ^ f.data[3] ^ f.data[6]);
        break;
    case Brake:
        put16be(f, 0, static_cast<uint32_t>(triangle(q.ms + 4'500, 9'000) < 200 ? 1200 : 0));
        f.data[2] = f.data[0] != 0 ? 1 : 0;
        f.data[7] = counter & 0x0F;
        break;
    case Steering:
        put16be(f, 0, static_cast<uint32_t>(static_cast<int32_t>(triangle(q.ms, 15'000) - 500) * 9));
        put16be(f, 2, 100 + rng.below(20));
        f.data[5] = counter & 0x0F;
        break;
    case WheelSpeeds:
        for (int i = 0; i < 4; ++i) {
            put16be(f, i * 2, q.speedCentiKmh + rng.below(6));
        }
        break;
    case Dynamics:
        put16be(f, 0, q.speedCentiKmh);
        for (int i = 2; i < 8; i += 2) {
            put16be(f, i, static_cast<uint32_t>(static_cast<int32_t>(rng.below(200)) - 100));
        }
        break;
    case Gear:
        f.data[0] = gearFor(q.speedCentiKmh);
        f.data[1] = 0x02;
        f.data[2] = static_cast<uint8_t>(q.rpm > 1200 ? 1 : 0);
        f.data[3] = counter;
        break;
    case Torque:
        put16be(f, 0, q.rpm / 10);
        put16be(f, 2, q.rpm / 10 - 5 + rng.below(10));
        f.data[7] = counter;
        break;
    case Pedals:
        f.data[0] = static_cast<uint8_t>(triangle(q.ms, 9'000) / 4);
        f.data[1] = static_cast<uint8_t>(triangle(q.ms + 4'500, 9'000) < 200 ? 0x40 : 0);
        break;
    case Temperatures:
        f.data[0] = static_cast<uint8_t>(q.coolantC + 40);
        f.data[1] = static_cast<uint8_t>(q.coolantC + 35);
        f.data[2] = static_cast<uint8_t>(25 + 40 + rng.below(2));
        f.data[3] = static_cast<uint8_t>(18 + 40);
        f.data[4] = static_cast<uint8_t>(q.coolantC + 30);
        break;
    case Battery:
        put16be(f, 0, 13'800 + rng.below(100));
        put16be(f, 2, static_cast<uint32_t>(200 + rng.below(40)));
        break;
    case Fuel:
        f.data[0] = static_cast<uint8_t>(q.fuelPermille / 4);
        put16be(f, 1, q.rpm / 4);
        break;
    case Body:
        f.data[0] = static_cast<uint8_t>((q.ms / 30'000) % 2 == 0 ? 0x00 : 0x01);
        f.data[1] = 0x05;
        f.data[2] = static_cast<uint8_t>((q.ms / 20'000) % 3);
        f.data[7] = counter;
        break;
    case Indicators:
        f.data[0] = static_cast<uint8_t>((counter & 1) << ((q.ms / 10'000) % 2));
        break;
    case Climate:
        f.data[0] = 44; // 22.0 degrees in half steps
        f.data[1] = 3;
        f.data[2] = static_cast<uint8_t>(18 + 40);
        f.data[3] = static_cast<uint8_t>(q.coolantC + 40);
        break;
    case Odometer:
        put32le(f, 0, q.odometerDeciKm);
        break;
    case Trip:
        put16be(f, 0, static_cast<uint32_t>(q.ms / 60'000));
        put16be(f, 2, static_cast<uint32_t>(q.ms / 5000));
        f.data[4] = counter;
        break;
    case DateTime: {
        const int64_t seconds = 8 * 3600 + q.ms / 1000;
        f.data[0] = 24;
        f.data[1] = 5;
        f.data[2] = 1;
        f.data[3] = static_cast<uint8_t>(seconds / 3600 % 24);
        f.data[4] = static_cast<uint8_t>(seconds / 60 % 60);
        f.data[5] = static_cast<uint8_t>(seconds % 60);
        break;
    }
    case Vin: {
        const uint64_t part = count % 3;
        f.data[0] = static_cast<uint8_t>(part);
        for (size_t i = 0; i < 7; ++i) {
            const size_t at = part * 7 + i;
            f.data[i + 1] = at < kVin.size() ? static_cast<uint8_t>(kVin[at]) : 0;
        }
        break;
    }
    case Tyres:
        for (int i = 0; i < 4; ++i) {
            f.data[i] = static_cast<uint8_t>(92 + rng.below(3));
        }
        f.data[4] = static_cast<uint8_t>(q.coolantC / 3 + 40);
        break;
    case Noise:
        for (auto& byte : f.data) {
            byte = rng.byte();
        }
        break;
    case AliveChecksum: {
        f.data[0] = counter;
        for (int i = 1; i < 7; ++i) {
            f.data[i] = static_cast<uint8_t>(i * 0x11);
        }
        uint8_t sum = 0;
        for (int i = 0; i < 7; ++i) {
            sum ^= f.data[i];
        }
        f.data[7] = sum;
        break;
    }
    case Heartbeat:
    case RemoteRequest:
        break;
    default:
        fillHeavy(static_cast<Signal>(signal), q, count, rng, f);
        break;
    }
}

} // namespace korvel::sim
