#include "signals/frameSignals.h"

#include <cstdio>
#include <cstring>

namespace korvel {

const MessageDef* messageForIdText(const DatabaseSet& databases, std::string_view idText) {
    uint32_t id = 0;
    if (databases.empty() || !frameIdValue(idText, id))
        return nullptr;
    // The adapters write a standard identifier in 3 digits and an extended one in 8.
    return databases.find(id, idText.size() > 3);
}

bool FrameSignals::update(const DatabaseSet& databases, std::string_view idText, std::string_view dataText) {
    if (valid_ && idText == idText_ && dataText == dataText_)
        return false;
    valid_ = true;
    idText_.assign(idText);
    dataText_.assign(dataText);
    message_ = messageForIdText(databases, idText);
    decoded_.clear();
    if (message_ != nullptr) {
        uint8_t bytes[8] = {};
        const int length = frameDataBytes(dataText, bytes);
        decodeMessage(*message_, bytes, length, decoded_);
    }
    return true;
}

void FrameSignals::clear() {
    valid_ = false;
    message_ = nullptr;
    decoded_.clear();
}

std::string rawValueText(const DecodedSignal& decoded) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(decoded.raw));
    return text;
}

std::string signalsSummary(const MessageDef& message, const std::vector<DecodedSignal>& decoded) {
    std::string text = message.name;
    if (!message.comment.empty())
        text += " (" + message.comment + ')';
    for (const DecodedSignal& d : decoded) {
        if (!d.present || d.signal == nullptr)
            continue;
        text += '\n';
        text += d.signal->name;
        text += " = ";
        text += signalValueText(d);
        if (!d.signal->unit.empty() && d.valueName == nullptr) {
            text += ' ';
            text += d.signal->unit;
        }
    }
    return text;
}

bool encodeMessageSignals(const MessageDef& message, const std::vector<std::string>& texts, uint8_t data[8],
                          std::string& error) {
    const std::size_t count = message.signalList.size();
    uint8_t work[8];
    std::memcpy(work, data, sizeof work);
    std::vector<bool> done(count, false);
    std::vector<DecodedSignal> decoded;
    // A switch is written before the signals it selects, and their presence is read after it, so a chain
    // of switches takes one pass per level.
    for (bool progress = true; progress;) {
        progress = false;
        const std::vector<bool> ready = done;
        decodeMessage(message, work, 8, decoded);
        for (std::size_t i = 0; i < count; ++i) {
            const SignalDef& signal = message.signalList[i];
            const int sw = signal.multiplexorIndex;
            const bool switchReady =
                sw < 0 || (static_cast<std::size_t>(sw) < count && ready[static_cast<std::size_t>(sw)]);
            if (done[i] || !switchReady)
                continue;
            done[i] = true;
            progress = true;
            const std::string& text = i < texts.size() ? texts[i] : std::string();
            if (text.empty() || (sw >= 0 && !decoded[i].present))
                continue;
            double physical = 0;
            if (!parseSignalValue(signal, text, physical)) {
                error = signal.name + ": \"" + text + "\" is neither a number nor one of its value names";
                return false;
            }
            if (!encodeSignal(signal, physical, work)) {
                error = signal.name + ": " + text + " does not fit in its " + std::to_string(signal.length) +
                        " bits";
                return false;
            }
        }
    }
    std::memcpy(data, work, sizeof work);
    return true;
}

std::string dataBytesText(const uint8_t* data, int length) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (int i = 0; i < length; ++i) {
        if (i > 0)
            text += ' ';
        text += kHex[data[i] >> 4];
        text += kHex[data[i] & 0x0F];
    }
    return text;
}

} // namespace korvel
