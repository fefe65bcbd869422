#pragma once

// An open link to a CAN bus, whatever carries it: one class per kind of link behind this interface, so a
// frame takes one path to and from every adapter. See link/README.md for adding a kind.

#include "link/canFrame.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvel {

// Seconds of a monotonic clock with four decimals; tests replace it so budgets run instantly.
[[nodiscard]] double clockSeconds();
using ClockFunction = std::function<double()>;
void setClockSeconds(ClockFunction clock); // an empty function restores the real clock

// What went wrong with frames on the open link, for the user to see: frames a slow adapter had no room for,
// frames the adapter refused, and damaged lines it sent.
struct LinkCounters {
    uint64_t notSent = 0;
    uint64_t refused = 0;
    uint64_t malformed = 0;
    friend bool operator==(const LinkCounters&, const LinkCounters&) = default;
};

// "Not sent: 3  Refused: 5  Bad lines: 1" with only the counts above 0; empty while all are 0.
[[nodiscard]] std::string linkTroubleText(const LinkCounters& counters);

// What a link knows of the bus beyond its own counters; nothing where its kind cannot tell, never a
// made-up 0.
struct LinkHealth {
    std::optional<uint64_t> errorFrames;
    std::optional<uint64_t> overruns;
    std::optional<uint64_t> droppedReceived; // frames that arrived but found no room before the poll
};

// The settings a link needs, taken from the shared state by the caller.
struct TransportSettings {
    int deviceKind = 0;
    std::string comPort;
    std::string comBaudrate;
    bool rtsHandshake = false;
    // The acceptance mask, for a CAN network interface's socket filter.
    bool maskFilter = false;
    int32_t acceptanceMaskInv = 0;
    int32_t acceptanceCodeMasked = 0;
    // For the connection sequence.
    int canBitrateIndex = 0;
    std::string userBitrate{};
    bool timestamps = false;
    bool listenOnly = false;
    std::string acceptanceMaskText{};
    std::string acceptanceCodeText{};
};

// What the connection sequence reaches outside the link, between its steps.
struct SequenceHost {
    std::function<void()> yield;     // lets waiting events run
    std::function<bool()> cancelled; // the user abandoned the sequence
    std::function<void(const QString&)> showVersion;
};

struct StartOutcome {
    enum Result { started, cancelled, notResponding, refused, openFailed /* the error has been shown */ };
    Result result = started;
    QString refusal{};             // the message for `refused`
    QString connectedDevice{};     // shown once connected, when the link names the bus itself
    QString connectedParameters{}; // likewise, for the bitrate panel
};

// Frames one poll took from a link, oldest first. A frame's timestampMs is its Monitor time.
struct ArrivedFrames {
    std::vector<CanFrame> frames;
    std::vector<int> refusedTags; // tags of sent frames the adapter refused meanwhile, in order
    void clear() {
        frames.clear();
        refusedTags.clear();
    }
};

struct ReceiveContext {
    char decimalSeparator = '.';
    // The PC clock's seconds since midnight, for links whose frames bring no time of their own.
    std::function<double()> secondsSinceMidnight;
    // Seconds of the host's monotonic clock, for frames an adapter sends without its time stamp; empty: such
    // frames keep time 0.
    std::function<double()> hostSeconds;
};

class CanLink : public QObject {
    Q_OBJECT
public:
    // Opens the link; false stops the connection sequence. Shows its open errors itself.
    virtual bool open(const TransportSettings& settings) = 0;
    // The steps after opening, up to receiving. Each kind has its own; the caller shows the outcome.
    virtual StartOutcome start(const TransportSettings& settings, SequenceHost& host) = 0;
    // Opens again after Reset without the sequence: `started` when the link works again.
    virtual StartOutcome::Result reopen(const TransportSettings& settings) {
        return open(settings) ? StartOutcome::started : StartOutcome::openFailed;
    }
    // Before closing for good: tells the adapter to stop.
    virtual void stop() {}
    virtual void close() = 0;
    // Hands the acceptance mask to the adapter or the system, where one applies it.
    virtual void applyFilter(const TransportSettings& settings, SequenceHost& host) = 0;

    // Puts one frame on the bus without waiting; false when it surely did not leave. `tag` comes back in
    // ArrivedFrames::refusedTags when the adapter refuses the frame later.
    virtual bool send(const CanFrame& frame, int tag) = 0;
    // Everything that arrived since the last call; false when the link is gone (what came before is
    // still handed over).
    virtual bool receive(ArrivedFrames& arrived, const ReceiveContext& context) = 0;

    // True while frames can go: open and not vanished.
    [[nodiscard]] virtual bool usable() const = 0;
    [[nodiscard]] bool lost() const { return lost_; }
    // True when the link would send even in listen-only mode, so Korvel holds its frames back itself.
    [[nodiscard]] virtual bool sendsInListenOnly() const { return false; }
    // True when the adapter applies the acceptance mask itself, so the receive path need not.
    [[nodiscard]] virtual bool adapterAppliesMask() const { return false; }
    // Which frame of a pair the Monitor shows for one poll: the newest, or the first read.
    [[nodiscard]] virtual bool monitorKeepsNewest() const { return true; }
    // While the Monitor is shown, requests are answered and triggers run newest first rather than in the
    // order the frames arrived.
    [[nodiscard]] virtual bool monitorAnswersNewestFirst() const { return false; }
    // True when frames carry the adapter's own time stamps rather than the PC clock's.
    [[nodiscard]] virtual bool adapterTimes() const { return false; }
    // True when the system, not Korvel's settings, sets the bus's bitrate, so it is asked of the system.
    [[nodiscard]] virtual bool bitrateFromSystem() const { return false; }
    // True when the link can tell how many received frames it dropped (damaged lines, a full queue).
    [[nodiscard]] virtual bool countsDroppedFrames() const { return false; }
    [[nodiscard]] const LinkCounters& counters() const { return counters_; }
    // A frame its sender dropped for want of room.
    void countFrameNotSent() { ++counters_.notSent; }
    // False while a slow adapter is so far behind that a frame would be dropped.
    [[nodiscard]] virtual bool hasRoomForFrame() const { return true; }
    [[nodiscard]] virtual LinkHealth health() const { return {}; }

signals:
    // Emitted once when the adapter disappears while open.
    void vanished();

protected:
    void markLost() {
        if (lost_)
            return;
        lost_ = true;
        emit vanished();
    }
    bool lost_ = false;
    LinkCounters counters_;
};

// The link for a device kind, not yet open: the one place links are made.
[[nodiscard]] std::unique_ptr<CanLink> makeCanLink(int deviceKind);

} // namespace korvel
