// Connecting to a CAN network interface: no commands and no bit timing. The interface runs with the bitrate
// and mode the system gave it, and the status bar says so rather than showing a bitrate Korvel did not set.

#include "core/basGlobal.h"
#include "link/connection.h"

#include <QCoreApplication>

namespace korvel {

void LinkController::connectSocketCan() {
    if (!transport_.openTransport(transportSettings())) {
        window_.showDisconnectedState(); // the open message has been shown
        return;
    }
    QCoreApplication::processEvents();
    window_.setPollTimerEnabled(true);
    window_.showConnectedState();
    window_.setStatusText(1, QStringLiteral("Connected to ") + QString::fromStdString(state_.comPort));
    window_.setStatusText(2, QStringLiteral("Bitrate and listen-only: set by the system"));
}

} // namespace korvel
