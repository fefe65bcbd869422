#pragma once

// The adapters' ASCII line protocol over any byte transport: commands and their replies, the connection
// sequence, frame lines out with their answers awaited, frame lines in. The serial port and the FTDI chip
// differ only in how bytes travel, which each says in its own class.

#include "link/canLink.h"
#include "link/replyCollector.h"

#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

class AsciiLink : public CanLink {
    Q_OBJECT
public:
    // The reply with its CR or BELL, or what came before the wait ended; empty when nothing is open.
    virtual std::string sendCommand(std::string_view command) = 0;
    // Everything received since the last call; while a command waits, only the frames it set aside. False
    // when the adapter is gone.
    virtual bool readAvailable(std::string& text) = 0;
    // While set, commands return at once with no reply, so a sequence that is being abandoned stops waiting.
    void setCommandsCancelled(bool cancelled) { cancelled_ = cancelled; }

    StartOutcome start(const TransportSettings& settings, SequenceHost& host) override;
    void stop() override { sendCommand("C"); }
    void applyFilter(const TransportSettings& settings, SequenceHost& host) override;
    bool send(const CanFrame& frame, int tag) override;
    bool receive(ArrivedFrames& arrived, const ReceiveContext& context) override;
    [[nodiscard]] bool adapterAppliesMask() const override { return true; }
    [[nodiscard]] bool adapterTimes() const override { return true; }
    [[nodiscard]] bool countsDroppedFrames() const override { return true; }
    // The Monitor path visits a poll's lines from the last back to the first.
    [[nodiscard]] bool monitorAnswersNewestFirst() const override { return true; }

    // A complete frame line, CR appended here; false when it was not written whole or the adapter is
    // still behind.
    bool writeFrameLine(std::string_view line);
    // An answer to the oldest frame still waiting for one: an acknowledgement, or a refusal (BELL), which
    // is counted. The tag it was written with, 0 when none waited.
    int frameAnswered(bool refused);
    // A damaged frame line from the adapter, dropped by the receive path.
    void countMalformedLine() { ++counters_.malformed; }
    [[nodiscard]] const LineCutter& lineCutter() const { return cutter_; }

    // Frames set aside during command waits: seconds of the fastest bus, yet bounded.
    static constexpr std::size_t kMaxCarryOver = 16 * 1024 * 1024;
    // "T", 8 identifier digits, the DLC, 16 data digits and the CR.
    static constexpr std::size_t kLongestFrameLine = 27;
    // Frames remembered while their answer is awaited; an adapter that never answers cannot grow it.
    static constexpr std::size_t kMaxAwaitedAnswers = 4096;

protected:
    // Writes bytes of frame lines; true when all were taken.
    virtual bool writeFrameBytes(const std::string& text) = 0;
    // Resets what one open session kept.
    void beginSession();
    void boundCarryOver();
    // Starts a command's wait: a command's wait may take the answers of frames sent before it, so the
    // count of answers starts afresh.
    void beginCommandWait() { awaitedAnswers_.clear(); }

    // Marks the time a command waits for its reply, also when it returns early; a command sent from an
    // event inside another's wait leaves the outer one marked.
    struct WaitScope {
        explicit WaitScope(bool& flag) : flag_(flag), before_(flag) { flag_ = true; }
        ~WaitScope() { flag_ = before_; }
        WaitScope(const WaitScope&) = delete;
        WaitScope& operator=(const WaitScope&) = delete;
        bool& flag_;
        bool before_;
    };

    bool waitingForReply_ = false;
    bool cancelled_ = false;
    ReplyCollector collector_;
    std::string carryOver_; // received text for the next poll, set aside while commands waited

private:
    // Writes a frame line and remembers its tag until the adapter answers it.
    bool writeAwaited(const std::string& text, int tag);
    // The filter commands and the open that follows them; true when the adapter refused that open.
    bool sendFilterCommands(const TransportSettings& settings, SequenceHost& host);

    std::deque<int> awaitedAnswers_;
    // Reused from poll to poll, so a steady stream allocates nothing.
    LineCutter cutter_;
    std::string text_;
    std::vector<std::string_view> lines_;
};

} // namespace korvel
