#include "link/connection.h"

#include "core/basGlobal.h"
#include "core/prompts.h"
#include "link/pcan_usb.h"

#include <QCoreApplication>

namespace korvel {

namespace {

const QString kWarningText =
    QStringLiteral("Connecting to the CANBUS of machines or vehicles might be dangerous.\r"
                   "The author is not responsible for damages.\r"
                   "Continue on your own risk.");
const QString kNotResponding = QStringLiteral("CAN Interface not responding!");

// A BELL in the reply; silence is not a refusal, since some adapters answer nothing to a command.
bool isRefusal(const std::string& reply) {
    return reply.find('\a') != std::string::npos;
}

QString refusedText(const char* what, const std::string& command) {
    return QStringLiteral("CAN Interface refused the %1 command %2!")
        .arg(QLatin1String(what), QString::fromStdString(command));
}

void yieldOnce() {
    QCoreApplication::processEvents();
}

// Marks the sequence as running for as long as it is on the stack, whichever way it ends.
class ConnectingScope {
public:
    explicit ConnectingScope(bool& flag) : flag_(flag), before_(flag) { flag_ = true; }
    ~ConnectingScope() { flag_ = before_; }
    ConnectingScope(const ConnectingScope&) = delete;
    ConnectingScope& operator=(const ConnectingScope&) = delete;

private:
    bool& flag_;
    bool before_;
};

} // namespace

LinkController::LinkController(GlobalState& state, LinkWindow window)
    : state_(state), window_(std::move(window)) {
}

TransportSettings LinkController::transportSettings() const {
    return {state_.deviceKind,
            state_.comPort,
            state_.comBaudrate,
            state_.hasOption(optRtsHandshake),
            state_.hasOption(optMaskFilter),
            state_.acceptanceMaskInv,
            state_.acceptanceCodeMasked};
}

void LinkController::connectCommand() {
    // A click that reaches the handler during the sequence's waits never starts a second one inside it.
    if (connecting_)
        return;
    if (state_.isConnected) {
        disconnectLink();
    } else {
        if (!state_.hasOption(optRiskAccepted)) {
            if (!prompts().confirm(QStringLiteral("Warning!"), kWarningText, PromptIcon::critical)) {
                window_.showDisconnectedState();
                return;
            }
            state_.setOption(optRiskAccepted, true);
        }
        window_.setConnectEnabled(false);
        const ConnectingScope scope(connecting_);
        yieldOnce();
        connectLink();
    }
    window_.setConnectEnabled(true);
}

bool LinkController::initialisePeak() {
    const uint16_t timing = peakBitTiming(state_.canBitrateIndex, state_.userBitrate);
    return pcan_usb::CAN_Init(timing, 1) == 0;
}

void LinkController::failConnection() {
    disconnectLink();
    prompts().critical(kNotResponding);
}

void LinkController::cancelConnecting() {
    if (!connecting_)
        return;
    cancelRequested_ = true;
    transport_.setCommandsCancelled(true);
}

void LinkController::abandonSequence() {
    cancelRequested_ = false;
    transport_.setCommandsCancelled(false);
    disconnectLink();
}

void LinkController::connectLink() {
    const ConnectingScope scope(connecting_);
    if (cancelRequested_) {
        abandonSequence();
        return;
    }
    window_.showDisconnectedState();
    window_.setStatusText(1, QStringLiteral("Connecting..."));
    if (state_.deviceKind == deviceSocketCan) {
        connectSocketCan();
        return;
    }

    if (state_.deviceKind == devicePeakUsb) {
        if (!transport_.openTransport(transportSettings())) {
            window_.showDisconnectedState();
            return;
        }
        yieldOnce();
        if (cancelRequested_) {
            abandonSequence();
            return;
        }
        if (!initialisePeak()) {
            failConnection();
            return;
        }
        char version[pcan_usb::kVersionBufferSize] = {};
        if (pcan_usb::CAN_VersionInfo(version) == 0) {
            const std::string text(version);
            const auto lineFeed = text.find('\n');
            if (lineFeed != std::string::npos && lineFeed >= 1)
                window_.setStatusText(2, QString::fromLatin1(text.substr(0, lineFeed)));
        }
    } else {
        if (!transport_.openTransport(transportSettings())) {
            // The sequence ends here; the window shows again that nothing is connected.
            window_.showDisconnectedState();
            return;
        }
        std::string firmware = firmwareText(transport_.sendCommand("v"));
        if (firmware.empty() && !cancelRequested_)
            firmware = firmwareText(transport_.sendCommand("V"));
        if (cancelRequested_) {
            abandonSequence();
            return;
        }
        if (firmware.empty()) {
            failConnection();
            return;
        }
        window_.setStatusText(2, QString::fromStdString(firmware));

        transport_.sendCommand("C");
        yieldOnce();
        const std::string bitrate = bitrateCommand(state_.canBitrateIndex, state_.userBitrate);
        const bool bitrateRefused = isRefusal(transport_.sendCommand(bitrate));
        yieldOnce();
        transport_.sendCommand(state_.hasOption(optTimestamp) ? "Z1" : "Z0");
        yieldOnce();
        const bool firstOpenRefused = sendFilterCommands();
        yieldOnce();
        const std::string open = state_.hasOption(optListenOnly) ? "L" : "O";
        // The second open finds the channel open, which adapters refuse; only when both were refused did the
        // channel never open.
        const bool openRefused = isRefusal(transport_.sendCommand(open)) && firstOpenRefused;
        // An adapter that refuses the bitrate or the open is not receiving: saying "Connected" would be
        // false.
        if ((bitrateRefused || openRefused) && !cancelRequested_) {
            disconnectLink();
            prompts().critical(
                refusedText(bitrateRefused ? "bitrate" : "open", bitrateRefused ? bitrate : open));
            return;
        }
    }

    yieldOnce();
    if (cancelRequested_) {
        abandonSequence();
        return;
    }
    window_.setPollTimerEnabled(true);
    window_.showConnectedState();
}

bool LinkController::sendFilterCommands() {
    transport_.sendCommand("C");
    yieldOnce();
    if (state_.hasOption(optMaskFilter)) {
        transport_.sendCommand("m" + state_.acceptanceMaskText);
        yieldOnce();
        transport_.sendCommand("M" + state_.acceptanceCodeText);
    } else {
        transport_.sendCommand("mFFFFFFFF");
    }
    yieldOnce();
    return isRefusal(transport_.sendCommand(state_.hasOption(optListenOnly) ? "L" : "O"));
}

void LinkController::applyAcceptanceFilter() {
    if (!state_.isConnected)
        return;
    if (transport_.deviceKind() == deviceSocketCan) {
        transport_.applySocketCanFilter(transportSettings());
        return;
    }
    sendFilterCommands();
}

void LinkController::disconnectLink() {
    transport_.sendCommand("C");
    window_.stopTransmitTimers();
    window_.setPollTimerEnabled(false);
    state_.isReplaying = false;
    transport_.closeTransport();
    window_.showDisconnectedState();
}

void LinkController::resetLink() {
    if (connecting_) {
        // The running sequence owns the transport and keeps Connect disabled until it ends.
        window_.clearMonitor();
        window_.resetTransmitCounts();
        return;
    }
    transport_.closeTransport();
    if (state_.isConnected) {
        // The link must never stay marked connected with its transport closed.
        if (transport_.deviceKind() == devicePeakUsb) {
            if (!initialisePeak())
                failConnection();
        } else if (!transport_.openTransport(transportSettings())) {
            disconnectLink(); // the open error has been shown
        }
    }
    window_.clearMonitor();
    window_.resetTransmitCounts();
    window_.setConnectEnabled(true);
}

bool LinkController::transmit(std::string_view idText, std::string_view dlcText, std::string_view dataText,
                              int tag) {
    if (!state_.isConnected)
        return false;
    // An adapter in listen-only mode refuses frames itself; a CAN interface sends whatever it is given, so
    // Korvel's Listen Only holds back the answers, triggers and periodic rows here.
    if (transport_.deviceKind() == deviceSocketCan && state_.hasOption(optListenOnly))
        return false;
    return transport_.writeFrame(idText, dlcText, dataText, tag);
}

} // namespace korvel
