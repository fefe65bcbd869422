#pragma once

// What the windows show of a received or edited frame through the loaded databases: the message a frame's
// texts belong to, its signals as lines of text, and a whole message's signal values written into a frame.

#include "signals/databaseSet.h"
#include "signals/signalCodec.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

// A frame as the views hold it: identifier text (3 characters standard, 8 extended) and data text.
[[nodiscard]] const MessageDef* messageForIdText(const DatabaseSet& databases, std::string_view idText);

// One frame decoded for a view, kept until its data text changes, so a view that refreshes often decodes
// only frames that changed.
class FrameSignals {
public:
    // True when the frame differs from the last one given (and was decoded again).
    bool update(const DatabaseSet& databases, std::string_view idText, std::string_view dataText);
    // Forgets the frame; call before the databases change, which would leave its signals pointing nowhere.
    void clear();

    [[nodiscard]] const MessageDef* message() const { return message_; }
    [[nodiscard]] const std::vector<DecodedSignal>& decoded() const { return decoded_; }

private:
    std::string idText_;
    std::string dataText_;
    const MessageDef* message_ = nullptr;
    std::vector<DecodedSignal> decoded_;
    bool valid_ = false;
};

// The raw value as a user reads it: hexadecimal, "0x1F4".
[[nodiscard]] std::string rawValueText(const DecodedSignal& decoded);
// "EngineSpeed = 2315 rpm" lines of the present signals, after a first line with the message's name and its
// comment; empty when the frame belongs to no message.
[[nodiscard]] std::string signalsSummary(const MessageDef& message,
                                         const std::vector<DecodedSignal>& decoded);

// Writes the typed value of each signal into `data` (empty texts leave their signal's bits as they are).
// Switches go first, and a multiplexed signal is written only when the switch's new value selects it, so
// decoding the result gives back every value written. False with `error` naming the first signal whose
// text is neither a number nor one of its value names, or whose value it cannot hold; `data` is then
// unchanged.
bool encodeMessageSignals(const MessageDef& message, const std::vector<std::string>& texts, uint8_t data[8],
                          std::string& error);

// "01 02 0A" for a frame's first `length` bytes, as the transmit list writes data.
[[nodiscard]] std::string dataBytesText(const uint8_t* data, int length);

} // namespace korvel
