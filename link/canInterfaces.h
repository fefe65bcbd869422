#pragma once

// The CAN network interfaces the system has, and how the settings dialog names them: "SocketCAN can0".
// Interfaces are read from the system (those whose hardware type is CAN), never guessed. Where the system has
// no CAN networking there are none.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

inline constexpr std::string_view kSocketCanPrefix = "SocketCAN ";
inline constexpr int kArphrdCan = 280; // the kernel's hardware type of a CAN interface
inline constexpr std::size_t kMaxInterfaceName = 15;

// Names of the interfaces of hardware type CAN under a folder laid out like /sys/class/net (one folder per
// interface holding a "type" file), sorted. Names the kernel could not have made are left out.
[[nodiscard]] std::vector<std::string>
listCanInterfaces(const std::string& netClassFolder = "/sys/class/net");

// "SocketCAN can0" entries for every CAN interface, appended to a device list.
void appendSocketCanDevices(std::vector<std::string>& entries);

// Whether the kernel would accept the text as an interface name: 1 to 15 bytes, not "." or "..", no blank,
// control character, "/" or ":".
[[nodiscard]] bool isValidInterfaceName(std::string_view name);

// The device text of an interface, and the interface a device text names. A text names an interface when it
// starts with the prefix (in any case) and the rest has no blank, so no serial port, USB adapter or
// "PEAKUSB" entry is ever taken for one, and an interface named like them is still one.
[[nodiscard]] std::string socketCanDeviceText(std::string_view interfaceName);
[[nodiscard]] std::optional<std::string> socketCanInterfaceOf(std::string_view deviceText);

} // namespace korvel
