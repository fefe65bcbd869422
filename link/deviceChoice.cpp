#include "link/deviceChoice.h"

#include "core/basGlobal.h"

#include "core/numberText.h"
#include "link/canInterfaces.h"

namespace korvel {

namespace {

bool containsIgnoringCase(std::string_view text, std::string_view part) {
    if (part.size() > text.size())
        return false;
    for (std::size_t i = 0; i + part.size() <= text.size(); ++i) {
        bool match = true;
        for (std::size_t k = 0; k < part.size() && match; ++k)
            match = toUpperAscii(text[i + k]) == toUpperAscii(part[k]);
        if (match)
            return true;
    }
    return false;
}

} // namespace

std::string serialPortEntry(std::string_view portName) {
    const bool numbered = portName.size() > 3 && portName.substr(0, 3) == "COM" &&
                          portName.find_first_not_of("0123456789", 3) == std::string_view::npos;
    return numbered ? std::string(portName) : "COM" + std::string(portName);
}

std::string deviceText(int deviceKind, std::string_view comPort) {
    switch (deviceKind) {
    case 1:
        return "COM" + std::string(comPort);
    case 2:
        return "USB " + std::string(comPort);
    case 3:
        return "PEAKUSB";
    case 4:
        return socketCanDeviceText(comPort);
    default:
        return "Select CAN Device";
    }
}

DeviceChoice chooseDevice(std::string_view text) {
    if (auto interfaceName = socketCanInterfaceOf(text))
        return {4, std::move(interfaceName)};
    if (containsIgnoringCase(text, "PEAKUSB"))
        return {3, std::nullopt};
    if (containsIgnoringCase(text, "Select CAN Device"))
        return {0, std::nullopt};
    if (containsIgnoringCase(text, "COM"))
        return {1, std::string(text.size() < 4 ? std::string_view{} : text.substr(3))};
    const auto blank = text.rfind(' ');
    return {2, std::string(blank == std::string_view::npos ? text : text.substr(blank + 1))};
}

bool isSerialDeviceText(std::string_view text) {
    return !socketCanInterfaceOf(text) && text.find("COM") != std::string_view::npos;
}

std::string serialSpeedFromText(std::string_view text) {
    std::string out(text);
    for (auto pos = out.find("bit/s"); pos != std::string::npos; pos = out.find("bit/s"))
        out.erase(pos, 5);
    std::string speed;
    for (char c : out)
        if (c != ' ')
            speed.push_back(c);
    return speed;
}

bool adapterAppliesMask(int deviceKind) {
    return deviceKind == deviceCom || deviceKind == deviceUsb;
}

} // namespace korvel
