// A CAN network interface at a sustained frame rate, through the socket-pair seam: a thread plays the bus and
// writes kernel frame records at a steady pace, never waiting; Korvel's socket link, receive poll and Monitor
// (with a shown list view) take them in with the real 100 ms poll timer. A record the socket pair refuses
// because Korvel's end is full counts as lost, as the kernel drops a frame its socket has no room for.
// Reports frames offered against the sum of the Monitor's counts, the worst poll tick and the main thread's
// share of one core.
//
// On a socket pair the queue that fills is charged to the bus end's send buffer; on a CAN socket it is
// Korvel's receive buffer. The second argument picks the bus end's buffer: 0 the system's default (212,992
// bytes, about 280 records, the smallest a CAN socket has), 1 the receive buffer Korvel asks its CAN socket
// for, as the system grants it.

#include "bench/benchApplication.h"
#include "bench/benchSupport.h"
#include "core/basGlobal.h"
#include "link/socketCan.h"
#include "link/transport.h"
#include "receive/monitorFold.h"
#include "receive/receivePoll.h"

#include <benchmark/benchmark.h>

#include <linux/can.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

using namespace korvel;
using namespace korvel::bench;

namespace {

// 64 identifiers, standard and extended, eight data bytes with a running counter.
can_frame busFrame(uint64_t n) {
    can_frame frame{};
    const uint32_t slot = static_cast<uint32_t>(n % 64);
    frame.can_id = slot < 48 ? 0x100 + slot : (CAN_EFF_FLAG | (0x18FF0000u + slot));
    frame.len = 8;
    std::memcpy(frame.data, &n, sizeof n);
    return frame;
}

void BM_SocketCanAtRate(benchmark::State& state) {
    benchApplication();
    const auto rate = static_cast<uint64_t>(state.range(0));
    const bool mirrorReceiveBuffer = state.range(1) != 0;
    constexpr int kStreamSeconds = 5;

    for (auto _ : state) {
        int peer = -1;
        setSocketCanSystem({[&peer](const std::string&) {
                                int ends[2];
                                if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
                                    return -1;
                                peer = ends[1];
                                return ends[0];
                            },
                            [](int, int, const void*, unsigned) {
                                return 0;
                            }});

        resetGlobals(deviceSocketCan);
        LinkTransport transport;
        TransportSettings settings;
        settings.deviceKind = deviceSocketCan;
        settings.comPort = "vcan0";
        if (!transport.openTransport(settings)) {
            state.SkipWithError("cannot open the socket pair");
            return;
        }
        basGlobal.isConnected = true;
        if (mirrorReceiveBuffer) {
            const int bytes = SocketCanLink::kReceiveBufferBytes;
            ::setsockopt(peer, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
        }

        ShownMonitor monitor(500);
        rowLastTimesPeak.clear();
        ReceivePoll poll(basGlobal, transport, monitor.model, {});

        std::atomic<uint64_t> offered{0};
        std::atomic<uint64_t> refused{0};
        std::thread bus([&] {
            const uint64_t total = rate * kStreamSeconds;
            const auto start = std::chrono::steady_clock::now();
            uint64_t n = 0;
            while (n < total) {
                const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(
                                         std::chrono::steady_clock::now() - start)
                                         .count();
                const uint64_t due =
                    std::min<uint64_t>(total, static_cast<uint64_t>(elapsed) * rate / 1000000);
                for (; n < due; ++n) {
                    const can_frame frame = busFrame(n);
                    if (::send(peer, &frame, sizeof frame, MSG_DONTWAIT) !=
                        static_cast<ssize_t>(sizeof frame))
                        refused.fetch_add(1, std::memory_order_relaxed);
                    offered.fetch_add(1, std::memory_order_relaxed);
                }
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });

        TickedRun ticks([&poll] { poll.poll(); }, CpuOf::CallingThread);
        ticks.run((kStreamSeconds + 1) * 1000);
        bus.join();
        poll.poll();
        const double cpuShare = ticks.cpuShare();
        const double counted = monitor.countedFrames();

        state.counters["offered"] = static_cast<double>(offered.load());
        state.counters["counted"] = counted;
        state.counters["lost"] = static_cast<double>(offered.load()) - counted;
        state.counters["refused"] = static_cast<double>(refused.load());
        state.counters["worst_tick_ms"] = ticks.worstTickMs();
        state.counters["cpu_percent"] = cpuShare * 100.0;
        state.counters["rows"] = monitor.model.rowCount();

        transport.closeTransport();
        ::close(peer);
        setSocketCanSystem({});
    }
}
BENCHMARK(BM_SocketCanAtRate)
    ->Args({20000, 0})
    ->Args({20000, 1})
    ->Args({100000, 1})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace
