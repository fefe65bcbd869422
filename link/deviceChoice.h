#pragma once

// The settings dialog's rules on plain data: which device a list text names, and the texts it shows.

#include <optional>
#include <string>
#include <string_view>

namespace korvel {

struct DeviceChoice {
    int deviceKind = 0;
    std::optional<std::string> comPort; // unset when the choice keeps the port as it was
};

// A serial port's entry in the device list: "COM" and the system's port name, except that a name that
// already is a numbered COM port stays as it is (COM3, never COMCOM3; ttyUSB0 gives COMttyUSB0).
[[nodiscard]] std::string serialPortEntry(std::string_view portName);
// The device text the dialog shows for a device kind and port.
[[nodiscard]] std::string deviceText(int deviceKind, std::string_view comPort);
// True for the kinds whose adapter applies the acceptance mask itself (the ASCII adapters).
[[nodiscard]] bool adapterAppliesMask(int deviceKind);
// The first rule that holds, comparing without regard to case: a CAN network interface, PEAKUSB, no device,
// a COM port, else FTDI.
[[nodiscard]] DeviceChoice chooseDevice(std::string_view text);
// Device texts naming a serial port (exact case) enable the serial speed and handshake.
[[nodiscard]] bool isSerialDeviceText(std::string_view text);
// "57600 bit/s" gives "57600".
[[nodiscard]] std::string serialSpeedFromText(std::string_view text);

} // namespace korvel
