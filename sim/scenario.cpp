#include "sim/scenario.h"

#include <charconv>
#include <cmath>

namespace korvel::sim {

namespace {

struct UnitScale {
    std::string_view suffix;
    int64_t microseconds;
};

// Longest suffix first, so "ms" is not read as "s".
constexpr UnitScale kUnits[] = {{"us", 1}, {"ms", 1000}, {"s", 1'000'000}};

std::vector<std::string_view> splitWords(std::string_view line) {
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
            ++i;
        }
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
            ++i;
        }
        if (i > start) {
            words.push_back(line.substr(start, i - start));
        }
    }
    return words;
}

// A word of the file inside an error message: short, and printable whatever the file held.
std::string quoted(std::string_view word) {
    std::string text = "'";
    for (char c : word.substr(0, 32)) {
        text.push_back(c >= 0x20 && c < 0x7F ? c : '?');
    }
    return text + (word.size() > 32 ? "...'" : "'");
}

std::optional<uint64_t> parseUnsigned(std::string_view text) {
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> parseRate(std::string_view text) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() || !std::isfinite(value) ||
        value < 0 || value > 1'000'000.0) {
        return std::nullopt;
    }
    return value;
}

// 1 to 3 digits make a standard identifier, 4 to 8 an extended one.
std::optional<SimFrame> parseId(std::string_view text) {
    if (text.empty() || text.size() > 8) {
        return std::nullopt;
    }
    const auto value = parseHex(text, text.size());
    SimFrame frame;
    frame.extended = text.size() > 3;
    if (!value || *value > (frame.extended ? kMaxExtendedId : kMaxStandardId)) {
        return std::nullopt;
    }
    frame.id = *value;
    return frame;
}

std::optional<uint8_t> parseDlc(std::string_view text) {
    if (text.size() != 1 || text[0] < '0' || text[0] > '8') {
        return std::nullopt;
    }
    return static_cast<uint8_t>(text[0] - '0');
}

class Parser {
public:
    explicit Parser(Scenario& scenario) : s_(scenario) {}

    // Empty on success, else what is wrong with the line.
    std::string line(const std::vector<std::string_view>& w) {
        const std::string_view d = w[0];
        if (d == "version") {
            return version(w);
        }
        if (d == "seed") {
            const auto seed = w.size() == 2 ? parseUnsigned(w[1]) : std::nullopt;
            if (!seed) {
                return "seed wants one decimal number";
            }
            s_.seed = *seed;
            return {};
        }
        if (d == "vehicle") {
            if (w.size() != 2 || (w[1] != "default" && w[1] != "none")) {
                return "vehicle wants 'default' or 'none'";
            }
            s_.vehicle = w[1] == "default";
            return {};
        }
        if (d == "rate") {
            const auto rate = w.size() == 2 ? parseRate(w[1]) : std::nullopt;
            if (!rate) {
                return "rate wants frames per second from 0 to 1000000";
            }
            s_.rate = *rate;
            return {};
        }
        if (d == "fault") {
            const auto fault = w.size() == 2 ? faultFromName(w[1]) : std::nullopt;
            if (!fault) {
                return "unknown fault (split, lowercase, silent, bellonly, refuse, garbage, vanish)";
            }
            s_.faults.push_back(*fault);
            return {};
        }
        if (d == "frame" || d == "remote") {
            return frame(w, d == "remote");
        }
        if (d == "answer-rtr") {
            return answer(w);
        }
        if (d == "at") {
            return timed(w);
        }
        return "unknown directive " + quoted(d);
    }

private:
    std::string version(const std::vector<std::string_view>& w) {
        if (w.size() == 3 && (w[1] == "v" || w[1] == "V") && w[2] == "none") {
            s_.versions.push_back({w[1][0], {}});
            return {};
        }
        if (w.size() != 2 || w[1].size() < 2 || w[1].size() > 32 || (w[1][0] != 'v' && w[1][0] != 'V')) {
            return "version wants a reply such as V1013 or v0205, or 'v none'";
        }
        for (char c : w[1]) {
            if (c < 0x21 || c > 0x7E) {
                return "version reply must be printable";
            }
        }
        s_.versions.push_back({w[1][0], std::string(w[1])});
        return {};
    }

    // Bytes after the DLC: hex pairs, "++" for a counter, "??" for random; missing bytes are 00.
    std::string payload(const std::vector<std::string_view>& w, size_t first, PeriodicFrameSpec& periodic,
                        bool fixedOnly) {
        if (w.size() - first > periodic.frame.dlc) {
            return "more data bytes than the DLC";
        }
        for (size_t i = first; i < w.size(); ++i) {
            const size_t at = i - first;
            if (w[i] == "++" && !fixedOnly) {
                periodic.kinds[at] = ByteKind::Counter;
            } else if (w[i] == "??" && !fixedOnly) {
                periodic.kinds[at] = ByteKind::Random;
            } else if (const auto byte = parseHex(w[i], 2)) {
                periodic.frame.data[at] = static_cast<uint8_t>(*byte);
            } else {
                return "bad data byte " + quoted(w[i]);
            }
        }
        return {};
    }

    std::string frame(const std::vector<std::string_view>& w, bool remote) {
        if (w.size() < 4 || (remote && w.size() != 4)) {
            return remote ? "remote wants ID PERIOD DLC" : "frame wants ID PERIOD DLC [BYTE...]";
        }
        if (s_.frames.size() >= kMaxScenarioFrames) {
            return "too many frames";
        }
        PeriodicFrameSpec periodic;
        const auto id = parseId(w[1]);
        const auto period = parseDurationUs(w[2]);
        const auto dlc = parseDlc(w[3]);
        if (!id) {
            return "bad identifier " + quoted(w[1]);
        }
        if (!period || *period < kMinPeriodUs || *period > kMaxPeriodUs) {
            return "period must be from 1ms to 3600s";
        }
        if (!dlc) {
            return "DLC must be one digit from 0 to 8";
        }
        periodic.frame = *id;
        periodic.frame.remote = remote;
        periodic.frame.dlc = *dlc;
        periodic.periodUs = *period;
        if (std::string problem = payload(w, 4, periodic, false); !problem.empty()) {
            return problem;
        }
        s_.frames.push_back(periodic);
        return {};
    }

    std::string answer(const std::vector<std::string_view>& w) {
        if (w.size() < 3) {
            return "answer-rtr wants ID DLC [BYTE...]";
        }
        if (s_.rtrAnswers.size() >= kMaxScenarioAnswers) {
            return "too many answers";
        }
        PeriodicFrameSpec periodic;
        const auto id = parseId(w[1]);
        const auto dlc = parseDlc(w[2]);
        if (!id) {
            return "bad identifier " + quoted(w[1]);
        }
        if (!dlc) {
            return "DLC must be one digit from 0 to 8";
        }
        periodic.frame = *id;
        periodic.frame.dlc = *dlc;
        if (std::string problem = payload(w, 3, periodic, true); !problem.empty()) {
            return problem;
        }
        s_.rtrAnswers.push_back(periodic.frame);
        return {};
    }

    std::string timed(const std::vector<std::string_view>& w) {
        const auto when = w.size() >= 3 ? parseDurationUs(w[1]) : std::nullopt;
        if (!when) {
            return "at wants TIME and an action (fault NAME, clear NAME, rate N, vanish)";
        }
        if (s_.timeline.size() >= kMaxTimedActions) {
            return "too many timed actions";
        }
        TimedAction action;
        action.afterOpenUs = *when;
        const std::string_view what = w[2];
        if (what == "vanish" && w.size() == 3) {
            action.kind = TimedAction::Kind::Vanish;
        } else if ((what == "fault" || what == "clear") && w.size() == 4) {
            const auto fault = faultFromName(w[3]);
            if (!fault) {
                return "unknown fault " + quoted(w[3]);
            }
            if (what == "clear" && *fault == Fault::Vanish) {
                return "a vanished adapter does not come back";
            }
            action.kind = what == "fault" ? TimedAction::Kind::FaultOn : TimedAction::Kind::FaultOff;
            action.fault = *fault;
        } else if (what == "rate" && w.size() == 4) {
            const auto rate = parseRate(w[3]);
            if (!rate) {
                return "rate wants frames per second from 0 to 1000000";
            }
            action.kind = TimedAction::Kind::Rate;
            action.rate = *rate;
        } else {
            return "at wants TIME and an action (fault NAME, clear NAME, rate N, vanish)";
        }
        s_.timeline.push_back(action);
        return {};
    }

    Scenario& s_;
};

} // namespace

std::optional<int64_t> parseDurationUs(std::string_view text) {
    for (const UnitScale& unit : kUnits) {
        if (text.size() > unit.suffix.size() && text.ends_with(unit.suffix)) {
            const auto number = parseUnsigned(text.substr(0, text.size() - unit.suffix.size()));
            // Ten days is far beyond any scenario and keeps the product well inside 64 bits.
            if (!number || *number > 864'000ULL * 1'000'000 / static_cast<uint64_t>(unit.microseconds)) {
                return std::nullopt;
            }
            return static_cast<int64_t>(*number) * unit.microseconds;
        }
    }
    return std::nullopt;
}

std::optional<Scenario> parseScenario(std::string_view text, std::string* error) {
    auto fail = [error](size_t lineNumber, const std::string& what) -> std::optional<Scenario> {
        if (error) {
            *error = "line " + std::to_string(lineNumber) + ": " + what;
        }
        return std::nullopt;
    };
    if (text.size() > kMaxScenarioBytes) {
        return fail(0, "file larger than 1 MiB");
    }
    Scenario scenario;
    Parser parser(scenario);
    size_t lineNumber = 0;
    size_t start = 0;
    while (start < text.size()) {
        ++lineNumber;
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (const size_t hash = line.find('#'); hash != std::string_view::npos) {
            line = line.substr(0, hash);
        }
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const auto words = splitWords(line);
        if (words.empty()) {
            continue;
        }
        if (std::string problem = parser.line(words); !problem.empty()) {
            return fail(lineNumber, problem);
        }
    }
    return scenario;
}

} // namespace korvel::sim
