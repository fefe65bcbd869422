#include "link/canInterfaceBitrate.h"

#include <cstring>

#ifdef __linux__
#include <linux/can/netlink.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#endif

namespace korvel {

#ifdef __linux__

namespace {

// The attribute of the given type among those in `area`; empty when absent or cut short.
std::span<const uint8_t> findAttribute(std::span<const uint8_t> area, unsigned type) {
    while (area.size() >= sizeof(rtattr)) {
        rtattr header{};
        std::memcpy(&header, area.data(), sizeof header);
        if (header.rta_len < sizeof(rtattr) || header.rta_len > area.size())
            return {};
        if ((header.rta_type & NLA_TYPE_MASK) == type)
            return area.subspan(RTA_LENGTH(0), header.rta_len - RTA_LENGTH(0));
        const std::size_t step = RTA_ALIGN(header.rta_len);
        if (step >= area.size())
            return {};
        area = area.subspan(step);
    }
    return {};
}

} // namespace

std::optional<uint32_t> bitrateFromLinkMessage(std::span<const uint8_t> message) {
    const std::size_t start = NLMSG_LENGTH(sizeof(ifinfomsg));
    if (message.size() < sizeof(nlmsghdr))
        return std::nullopt;
    nlmsghdr header{};
    std::memcpy(&header, message.data(), sizeof header);
    if (header.nlmsg_type != RTM_NEWLINK || header.nlmsg_len > message.size() || header.nlmsg_len < start)
        return std::nullopt;
    const auto attributes = message.subspan(NLMSG_ALIGN(start), header.nlmsg_len - NLMSG_ALIGN(start));
    const auto info = findAttribute(findAttribute(attributes, IFLA_LINKINFO), IFLA_INFO_DATA);
    const auto timing = findAttribute(info, IFLA_CAN_BITTIMING);
    if (timing.size() < sizeof(uint32_t))
        return std::nullopt;
    uint32_t bitrate = 0;
    std::memcpy(&bitrate, timing.data(), sizeof bitrate);
    if (bitrate == 0)
        return std::nullopt;
    return bitrate;
}

std::optional<uint32_t> canInterfaceBitrate(const std::string& interfaceName) {
    const unsigned index = ::if_nametoindex(interfaceName.c_str());
    if (index == 0)
        return std::nullopt;
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return std::nullopt;
    // A kernel that does not answer must not hold the window.
    const timeval wait{0, 200000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    struct {
        nlmsghdr header;
        ifinfomsg info;
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(ifinfomsg));
    request.header.nlmsg_type = RTM_GETLINK;
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.info.ifi_family = AF_UNSPEC;
    request.info.ifi_index = static_cast<int>(index);
    std::optional<uint32_t> bitrate;
    if (::send(fd, &request, request.header.nlmsg_len, 0) == static_cast<ssize_t>(request.header.nlmsg_len)) {
        alignas(nlmsghdr) uint8_t reply[16384];
        const ssize_t length = ::recv(fd, reply, sizeof reply, 0);
        if (length > 0)
            bitrate =
                bitrateFromLinkMessage(std::span<const uint8_t>(reply, static_cast<std::size_t>(length)));
    }
    ::close(fd);
    return bitrate;
}

#else

std::optional<uint32_t> bitrateFromLinkMessage(std::span<const uint8_t>) {
    return std::nullopt;
}

std::optional<uint32_t> canInterfaceBitrate(const std::string&) {
    return std::nullopt;
}

#endif

} // namespace korvel
