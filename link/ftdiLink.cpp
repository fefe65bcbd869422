#include "link/ftdiLink.h"

#include "core/prompts.h"

#include <QCoreApplication>

namespace korvel {

namespace {

QString openErrorText(const TransportSettings& s) {
    return QStringLiteral("Can't open Device USB") + QString::fromStdString(s.comPort) +
           QStringLiteral("!\r\n");
}

} // namespace

FtdiLink::~FtdiLink() {
    close();
}

bool FtdiLink::open(const TransportSettings& s) {
    beginSession();
    // Without the library every call fails with a status that means nothing to the user; say once what is
    // missing instead, and stop the sequence.
    if (!basD2XX::libraryAvailable()) {
        prompts().critical(openErrorText(s) + QString::fromLatin1(basD2XX::kMissingLibraryText));
        return false;
    }
    char serial[256] = {};
    s.comPort.copy(serial, sizeof serial - 1);
    open_ = false;
    basD2XX::FT_HANDLE handle = nullptr;
    const uint32_t status = basD2XX::FT_OpenEx(serial, basD2XX::FT_OPEN_BY_SERIAL_NUMBER, &handle);
    if (status != basD2XX::FT_OK) {
        prompts().critical(openErrorText(s) + QStringLiteral("Error ") + QString::number(status));
    } else {
        handle_ = handle;
        open_ = true;
        basD2XX::FT_SetTimeouts(handle_, kReadTimeoutMs, kWriteTimeoutMs);
    }
    // The FTDI link always runs at 57600 bit/s.
    const uint32_t baudStatus =
        open_ ? basD2XX::FT_SetBaudRate(handle_, 57600) : static_cast<uint32_t>(3 /* not opened */);
    if (baudStatus != basD2XX::FT_OK)
        prompts().critical(openErrorText(s) + QStringLiteral("Error ") + QString::number(baudStatus));
    return true;
}

std::string FtdiLink::sendCommand(std::string_view command) {
    if (!open_ || lost_ || cancelled_)
        return {};
    const WaitScope waiting(waitingForReply_);
    beginCommandWait();
    const std::string line = std::string(command) + '\r';
    uint32_t written = 0;
    basD2XX::FT_Write(handle_, line.data(), static_cast<uint32_t>(line.size()), &written);

    collector_.begin(carryOver_);
    bool complete = false;
    bool timedOut = false;
    bool failed = false;
    // Frames of a busy bus keep coming; a peer that never replies must not keep the loop going forever.
    constexpr std::size_t kMaxBytesPerWait = 64 * 1024;
    for (std::size_t n = 0; !complete && !timedOut && !failed && !cancelled_ && n < kMaxBytesPerWait; ++n) {
        char byte = 0;
        uint32_t count = 0;
        const uint32_t status = basD2XX::FT_Read(handle_, &byte, 1, &count);
        if (status != basD2XX::FT_OK && status != basD2XX::FT_IO_ERROR)
            failed = true;
        else if (count < 1)
            timedOut = true;
        else
            complete = collector_.add(std::string_view(&byte, 1), carryOver_);
        QCoreApplication::processEvents();
    }
    std::string reply = collector_.finish(carryOver_);
    boundCarryOver();
    return reply;
}

bool FtdiLink::readAvailable(std::string& text) {
    text.clear();
    if (!open_ || lost_)
        return false;
    text.swap(carryOver_);
    carryOver_.clear();
    if (waitingForReply_)
        return true;
    uint32_t waiting = 0;
    if (basD2XX::FT_GetQueueStatus(handle_, &waiting) != basD2XX::FT_OK) {
        markLost();
        return false;
    }
    char buffer[kReadChunk];
    while (waiting > 0) {
        const uint32_t ask = waiting < kReadChunk ? waiting : kReadChunk;
        uint32_t got = 0;
        if (basD2XX::FT_Read(handle_, buffer, ask, &got) != basD2XX::FT_OK) {
            markLost();
            return false;
        }
        text.append(buffer, got < ask ? got : ask);
        waiting -= ask;
    }
    return true;
}

bool FtdiLink::writeFrameBytes(const std::string& text) {
    if (!open_)
        return false;
    uint32_t count = 0;
    return basD2XX::FT_Write(handle_, text.data(), static_cast<uint32_t>(text.size()), &count) ==
               basD2XX::FT_OK &&
           count == text.size();
}

void FtdiLink::close() {
    if (!open_)
        return;
    basD2XX::FT_Close(handle_);
    open_ = false;
}

} // namespace korvel
