#pragma once

// One row of the transmit list: the shown columns as text, and the hidden trigger and timer settings.

#include <string>

namespace korvel {

struct TxRow {
    std::string id = "000";
    std::string dlc = "8";
    std::string data = "00 00 00 00 00 00 00 00";
    std::string mode = "off";
    std::string count = "0";
    std::string comment;
    std::string triggerId;
    std::string triggerData;
    int period = 0;
    bool running = false;
};

} // namespace korvel
