#include "signals/dbcReader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace korvel::dbcread {

// Enumerated attributes are written as the index of their value.
std::string enumText(const AttributeDef* def, const std::string& value) {
    if (def == nullptr || def->enumValues.empty())
        return value;
    Cursor c(value);
    int64_t index = 0;
    if (c.integer(index) && index >= 0 && static_cast<std::size_t>(index) < def->enumValues.size())
        return def->enumValues[static_cast<std::size_t>(index)];
    return value;
}

void Reader::finish() {
    auto definition = [&](std::string_view name) -> const AttributeDef* {
        auto found = attributeDefs_.find(name);
        return found == attributeDefs_.end() ? nullptr : &found->second;
    };
    const AttributeDef* cycleDef = definition("GenMsgCycleTime");
    const AttributeDef* formatDef = definition("VFrameFormat");
    const AttributeDef* protocolDef = definition("ProtocolType");
    std::string protocol = protocol_.empty() && protocolDef != nullptr ? protocolDef->defaultText : protocol_;
    bool j1939Database = protocol == "J1939";
    int64_t defaultCycle = 0;
    if (cycleDef != nullptr) {
        Cursor c(cycleDef->defaultText);
        if (!c.integer(defaultCycle) || defaultCycle < 0 || defaultCycle > INT32_MAX)
            defaultCycle = 0;
    }
    std::string defaultFormat =
        formatDef != nullptr ? enumText(formatDef, formatDef->defaultText) : std::string();
    std::vector<std::string> formats(db_.messages.size(), defaultFormat);
    for (auto& [index, value] : frameFormats_)
        formats[index] = enumText(formatDef, value);
    for (MessageDef& m : db_.messages)
        m.cycleTimeMs = static_cast<int>(defaultCycle);
    for (auto& [index, ms] : cycleTimes_)
        db_.messages[index].cycleTimeMs = static_cast<int>(ms);
    for (std::size_t i = 0; i < db_.messages.size(); ++i) {
        MessageDef& m = db_.messages[i];
        m.j1939 = m.extended && (formats[i].find("J1939") != std::string::npos ||
                                 (j1939Database && formats[i].find("CAN") == std::string::npos));
        resolveMultiplexing(m);
    }
}

// The frame bits a laid-out signal covers, bit 8 * byte + bit.
uint64_t frameBits(const SignalDef& s) {
    uint64_t word = s.mask << s.shift;
    if (s.order == ByteOrder::intel)
        return word;
    uint64_t little = 0;
    for (int i = 0; i < 8; ++i)
        little |= ((word >> (8 * (7 - i))) & 0xFF) << (8 * i);
    return little;
}

// Signals that are always there and share bits decode as the file says, but the file is likely wrong.
void Reader::reportOverlaps(const MessageDef& m, std::size_t mi) {
    std::vector<std::pair<uint64_t, std::size_t>> always;
    for (std::size_t i = 0; i < m.signalList.size(); ++i) {
        const SignalDef& s = m.signalList[i];
        if (refused_[mi][i] || s.multiplexorIndex >= 0 || !s.laidOut)
            continue;
        uint64_t bits = frameBits(s);
        for (auto [otherBits, other] : always) {
            if ((bits & otherBits) != 0) {
                problem(signalLines_[mi][i],
                        "SG_ " + s.name + ": overlaps " + m.signalList[other].name + " (both are read)");
                break;
            }
        }
        always.emplace_back(bits, i);
    }
}

void Reader::resolveMultiplexing(MessageDef& m) {
    auto mi = static_cast<std::size_t>(&m - db_.messages.data());
    std::vector<int> switches;
    for (std::size_t i = 0; i < m.signalList.size(); ++i) {
        if (m.signalList[i].isMultiplexor)
            switches.push_back(static_cast<int>(i));
    }
    for (std::size_t i = 0; i < m.signalList.size(); ++i) {
        SignalDef& s = m.signalList[i];
        if (extendedMux_[mi][i] || simpleMux_[mi][i] < 0)
            continue;
        // m<n> without SG_MUL_VAL_: selected by the message's one multiplexor that is not itself.
        int chosen = -1;
        int candidates = 0;
        for (int sw : switches) {
            if (sw != static_cast<int>(i)) {
                chosen = sw;
                ++candidates;
            }
        }
        if (candidates > 1) {
            // With switches of switches, a page without SG_MUL_VAL_ belongs to the one plain switch.
            candidates = 0;
            for (int sw : switches) {
                auto k = static_cast<std::size_t>(sw);
                if (sw != static_cast<int>(i) && simpleMux_[mi][k] < 0 && !extendedMux_[mi][k]) {
                    chosen = sw;
                    ++candidates;
                }
            }
        }
        if (candidates != 1) {
            problem(signalLines_[mi][i], "SG_ " + s.name + ": " +
                                             (candidates == 0 ? "no multiplexor in " + m.name
                                                              : "several multiplexors in " + m.name +
                                                                    " and no SG_MUL_VAL_ choosing one"));
            refused_[mi][i] = true;
            continue;
        }
        auto value = static_cast<uint64_t>(simpleMux_[mi][i]);
        s.multiplexorIndex = chosen;
        s.multiplexRanges = {{value, value}};
    }
    // A switch chain that loops back decides nothing.
    for (std::size_t i = 0; i < m.signalList.size(); ++i) {
        int at = m.signalList[i].multiplexorIndex;
        for (std::size_t steps = 0; at >= 0 && steps <= m.signalList.size(); ++steps)
            at = at == static_cast<int>(i) ? -2 : m.signalList[static_cast<std::size_t>(at)].multiplexorIndex;
        if (at != -1 && !refused_[mi][i]) {
            problem(signalLines_[mi][i],
                    "SG_ " + m.signalList[i].name + ": its multiplexors select each other");
            refused_[mi][i] = true;
        }
    }
    // Refusing a switch refuses what it selects.
    for (bool changed = true; changed;) {
        changed = false;
        for (std::size_t i = 0; i < m.signalList.size(); ++i) {
            int sw = m.signalList[i].multiplexorIndex;
            if (!refused_[mi][i] && sw >= 0 && refused_[mi][static_cast<std::size_t>(sw)]) {
                problem(signalLines_[mi][i], "SG_ " + m.signalList[i].name + ": its multiplexor was refused");
                refused_[mi][i] = true;
                changed = true;
            }
        }
    }
    reportOverlaps(m, mi);
    if (std::find(refused_[mi].begin(), refused_[mi].end(), true) == refused_[mi].end())
        return;
    std::vector<int> newIndex(m.signalList.size(), -1);
    std::vector<SignalDef> kept;
    for (std::size_t i = 0; i < m.signalList.size(); ++i) {
        if (!refused_[mi][i]) {
            newIndex[i] = static_cast<int>(kept.size());
            kept.push_back(std::move(m.signalList[i]));
        }
    }
    for (SignalDef& s : kept) {
        if (s.multiplexorIndex >= 0)
            s.multiplexorIndex = newIndex[static_cast<std::size_t>(s.multiplexorIndex)];
    }
    m.signalList = std::move(kept);
}

} // namespace korvel::dbcread
