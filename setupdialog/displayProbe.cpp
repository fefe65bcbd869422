#include "displayProbe.h"

#if defined(__unix__) && !defined(__APPLE__)
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

std::string_view environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool connects(const std::string& path, bool abstract) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0;
    if (path.size() + offset >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path + offset, path.data(), path.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return false;
    }
    // A server with a full backlog still exists.
    const bool ok =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0 || errno == EAGAIN;
    ::close(fd);
    return ok;
}

// ":N", ":N.S" and "unix:N" name a server on this machine, reachable through its socket; other forms
// (remote hosts, socket paths) are left for the platform plugin to judge.
bool x11ServerAnswers(std::string_view display) {
    const std::size_t colon = display.rfind(':');
    const std::string_view host = display.substr(0, colon);
    if (colon == std::string_view::npos || !(host.empty() || host == "unix")) {
        return true;
    }
    std::string_view number = display.substr(colon + 1);
    number = number.substr(0, number.find('.'));
    if (number.empty() || number.find_first_not_of("0123456789") != std::string_view::npos) {
        return true;
    }
    const std::string socketPath = "/tmp/.X11-unix/X" + std::string(number);
    return connects(socketPath, false) || connects(socketPath, true);
}

} // namespace

bool displayAvailable() {
    const std::string_view platform = environment("QT_QPA_PLATFORM");
    if (!platform.empty() && platform.substr(0, 3) != "xcb") {
        return true;
    }
    if (platform.empty() && !environment("WAYLAND_DISPLAY").empty()) {
        return true;
    }
    const std::string_view display = environment("DISPLAY");
    return !display.empty() && x11ServerAnswers(display);
}

#else

bool displayAvailable() {
    return true;
}

#endif
