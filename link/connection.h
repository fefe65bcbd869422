#pragma once

// Takes the link from closed to receiving and back: the connect command with its one-time warning, the
// connection sequence (its kind's own steps come from the link), disconnect, Reset and the acceptance
// filter update; and the one way frames go out.

#include "link/transport.h"

#include <QString>

#include <functional>
#include <string>

namespace korvel {

struct GlobalState;

// What the sequence changes in the main window, handed over by the window so this code includes none of it.
struct LinkWindow {
    std::function<void()> showConnectedState;
    std::function<void()> showDisconnectedState;
    std::function<void(int panel, const QString& text)> setStatusText;
    std::function<void(bool enabled)> setConnectEnabled;
    std::function<void(bool enabled)> setPollTimerEnabled;
    std::function<void()> stopTransmitTimers;
    std::function<void()> clearMonitor;
    std::function<void()> resetTransmitCounts;
};

class LinkController {
public:
    LinkController(GlobalState& state, LinkWindow window);

    void connectCommand();
    void connectLink();
    void disconnectLink();
    void resetLink();
    void applyAcceptanceFilter();

    // True while the connection sequence runs (it waits by letting events run, so commands arrive meanwhile).
    [[nodiscard]] bool isConnecting() const { return connecting_; }
    // Ends a running sequence at its next step: the link is closed again and nothing is shown.
    void cancelConnecting();

    // Sends a frame when connected; false when nothing was sent.
    bool transmit(const CanFrame& frame, int tag = 0);
    // The same for a transmit row's texts.
    bool transmit(std::string_view idText, std::string_view dlcText, std::string_view dataText, int tag = 0);

    [[nodiscard]] LinkTransport& transport() { return transport_; }

private:
    [[nodiscard]] TransportSettings transportSettings() const;
    [[nodiscard]] SequenceHost sequenceHost();
    void failConnection();
    void abandonSequence();

    GlobalState& state_;
    LinkWindow window_;
    LinkTransport transport_;
    bool connecting_ = false;
    bool cancelRequested_ = false;
};

} // namespace korvel
