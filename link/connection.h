#pragma once

// Takes the link from closed to receiving and back: the connect command with its one-time warning, the
// connection sequence of each device kind, disconnect, Reset and the acceptance filter update.

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

    // Sends a transmit row's frame when connected; false when nothing was sent.
    bool transmit(std::string_view idText, std::string_view dlcText, std::string_view dataText, int tag = 0);

    [[nodiscard]] LinkTransport& transport() { return transport_; }

private:
    [[nodiscard]] TransportSettings transportSettings() const;
    // The filter commands and the open that follows them; true when the adapter refused that open.
    bool sendFilterCommands();
    bool initialisePeak();
    void connectSocketCan();
    void failConnection();
    void abandonSequence();

    GlobalState& state_;
    LinkWindow window_;
    LinkTransport transport_;
    bool connecting_ = false;
    bool cancelRequested_ = false;
};

} // namespace korvel
