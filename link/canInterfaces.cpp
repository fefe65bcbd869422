#include "link/canInterfaces.h"

#include "core/numberText.h"
#include "core/textFile.h"

#include <QDir>

#include <algorithm>

namespace korvel {

std::vector<std::string> listCanInterfaces(const std::string& netClassFolder) {
    std::vector<std::string> names;
    const QDir folder(QString::fromStdString(netClassFolder));
    const QStringList entries = folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    for (const QString& entry : entries) {
        const std::string name = entry.toStdString();
        if (!isValidInterfaceName(name))
            continue;
        std::string type;
        // A "type" file holds a few digits; anything larger is not one.
        constexpr std::size_t kMaxTypeFile = 4096;
        if (!readTextFile(netClassFolder + "/" + name + "/type", type, kMaxTypeFile))
            continue;
        const std::size_t digits = type.find_first_not_of("0123456789");
        const std::string_view number = std::string_view(type).substr(0, digits);
        const std::string_view rest = std::string_view(type).substr(number.size());
        if (number.empty() || number.size() > 5 || rest.find_first_not_of("\r\n") != std::string_view::npos)
            continue;
        if (readNumber(number) == kArphrdCan)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void appendSocketCanDevices(std::vector<std::string>& entries) {
#ifdef __linux__
    for (const std::string& name : listCanInterfaces())
        entries.push_back(socketCanDeviceText(name));
#else
    (void)entries; // CAN network interfaces are Linux's
#endif
}

bool isValidInterfaceName(std::string_view name) {
    if (name.empty() || name.size() > kMaxInterfaceName || name == "." || name == "..")
        return false;
    return std::none_of(name.begin(), name.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return c <= 0x20 || c == 0x7F || c == '/' || c == ':';
    });
}

std::string socketCanDeviceText(std::string_view interfaceName) {
    return std::string(kSocketCanPrefix) + std::string(interfaceName);
}

std::optional<std::string> socketCanInterfaceOf(std::string_view deviceText) {
    if (deviceText.size() < kSocketCanPrefix.size())
        return std::nullopt;
    for (std::size_t i = 0; i < kSocketCanPrefix.size(); ++i)
        if (toUpperAscii(deviceText[i]) != toUpperAscii(kSocketCanPrefix[i]))
            return std::nullopt;
    const std::string_view rest = deviceText.substr(kSocketCanPrefix.size());
    if (rest.find(' ') != std::string_view::npos)
        return std::nullopt;
    return std::string(rest);
}

} // namespace korvel
