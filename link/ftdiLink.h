#pragma once

// An ASCII adapter behind an FTDI USB chip ("USB"), reached through the chip maker's library.

#include "link/asciiLink.h"
#include "link/basD2XX.h"

namespace korvel {

class FtdiLink final : public AsciiLink {
    Q_OBJECT
public:
    ~FtdiLink() override;

    bool open(const TransportSettings& settings) override;
    void close() override;
    std::string sendCommand(std::string_view command) override;
    bool readAvailable(std::string& text) override;
    [[nodiscard]] bool usable() const override { return open_ && !lost_; }

    static constexpr uint32_t kReadTimeoutMs = 300;
    static constexpr uint32_t kWriteTimeoutMs = 300;
    static constexpr uint32_t kReadChunk = 256;

protected:
    bool writeFrameBytes(const std::string& text) override;

private:
    basD2XX::FT_HANDLE handle_ = nullptr;
    bool open_ = false;
};

} // namespace korvel
