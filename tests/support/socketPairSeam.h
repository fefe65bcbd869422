#pragma once

// Stands in for the kernel's CAN sockets: opening an interface gives one end of a datagram socket pair, and
// the test holds the other end, as the bus. Everything past opening (reading, writing, error frames, a
// closed peer) runs in Korvel's own code on a real socket carrying the kernel's frame records. The calls
// that exist only on CAN sockets (the filters) are recorded.

#include "link/socketCan.h"

#include <gtest/gtest.h>

#include <linux/can.h>
#include <linux/can/raw.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace korvel::test {

class SocketPairSeam {
public:
    struct RawOption {
        int option = 0;
        std::vector<uint8_t> value;
    };

    SocketPairSeam() {
        setSocketCanSystem({[this](const std::string& name) { return openBound(name); },
                            [this](int, int option, const void* value, unsigned size) {
                                const auto* bytes = static_cast<const uint8_t*>(value);
                                options.push_back({option, {bytes, bytes + size}});
                                return 0;
                            }});
    }
    ~SocketPairSeam() {
        setSocketCanSystem({});
        closePeer();
    }
    SocketPairSeam(const SocketPairSeam&) = delete;
    SocketPairSeam& operator=(const SocketPairSeam&) = delete;

    // The bus side: one kernel frame record per datagram.
    void send(canid_t id, std::vector<uint8_t> data = {}, uint8_t len = 0xFF) {
        can_frame frame{};
        frame.can_id = id;
        frame.len = len == 0xFF ? static_cast<uint8_t>(data.size()) : len;
        if (!data.empty())
            std::memcpy(frame.data, data.data(), data.size() < 8 ? data.size() : 8);
        sendBytes(&frame, sizeof frame);
    }
    void sendBytes(const void* bytes, std::size_t size) {
        ASSERT_EQ(::send(peer, bytes, size, MSG_DONTWAIT), static_cast<ssize_t>(size))
            << std::strerror(errno);
    }
    // The next record Korvel wrote, or false when there is none.
    bool receive(can_frame& frame) {
        const ssize_t n = ::recv(peer, &frame, sizeof frame, MSG_DONTWAIT);
        if (n >= 0) {
            EXPECT_EQ(n, static_cast<ssize_t>(sizeof frame));
        }
        return n == static_cast<ssize_t>(sizeof frame);
    }
    void closePeer() {
        if (peer >= 0)
            ::close(peer);
        peer = -1;
    }
    // The filter the last CAN_RAW_FILTER call set.
    can_filter lastFilter() const {
        can_filter filter{};
        for (const RawOption& o : options)
            if (o.option == CAN_RAW_FILTER && o.value.size() == sizeof filter)
                std::memcpy(&filter, o.value.data(), sizeof filter);
        return filter;
    }

    int failWith = 0;         // errno the next opens fail with; 0 opens
    bool unconnected = false; // the next opens give a socket whose reads fail
    std::vector<std::string> opened;
    std::vector<RawOption> options;
    int peer = -1;

private:
    int openBound(const std::string& name) {
        opened.push_back(name);
        if (failWith != 0) {
            errno = failWith;
            return -1;
        }
        if (unconnected)
            return ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
            return -1;
        closePeer();
        peer = ends[1];
        return ends[0];
    }
};

} // namespace korvel::test
