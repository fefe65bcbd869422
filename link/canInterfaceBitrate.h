#pragma once

// The bitrate the system gave a CAN network interface, asked of the kernel's routing socket. Korvel does
// not set it; knowing it lets the bus load be measured. Nothing when the interface has none (a virtual
// one), is unknown, or the question fails.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace korvel {

[[nodiscard]] std::optional<uint32_t> canInterfaceBitrate(const std::string& interfaceName);

// The bit timing's bitrate in a link message of the routing socket (its header included); nothing when
// the message holds none. Reads only within the bytes given.
[[nodiscard]] std::optional<uint32_t> bitrateFromLinkMessage(std::span<const uint8_t> message);

} // namespace korvel
