#include "fakeCommon.h"

#include <chrono>
#include <cstdio>

namespace korvel::fakes {

void CallLog::add(std::string entry) {
    if (entries_.size() >= kMaxEntries) {
        entries_.pop_front();
    }
    entries_.push_back(std::move(entry));
}

const char* CallLog::text() {
    joined_.clear();
    for (const std::string& entry : entries_) {
        joined_ += entry;
        joined_ += '\n';
    }
    return joined_.c_str();
}

void CallLog::clear() {
    entries_.clear();
    joined_.clear();
}

int64_t FakeClock::nowUs() const {
    if (manual_) {
        return *manual_;
    }
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void Failures::set(std::string_view function, uint32_t status) {
    if (status == 0) {
        statuses_.erase(std::string(function));
    } else {
        statuses_[std::string(function)] = status;
    }
}

uint32_t Failures::of(std::string_view function) const {
    const auto it = statuses_.find(function);
    return it == statuses_.end() ? 0 : it->second;
}

std::string printable(std::string_view bytes) {
    std::string text;
    for (char c : bytes.substr(0, 40)) {
        if (c == '\r') {
            text += "\\r";
        } else if (c == '\a') {
            text += "\\a";
        } else if (c >= 0x20 && c < 0x7F && c != '\\') {
            text += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(c));
            text += escaped;
        }
    }
    if (bytes.size() > 40) {
        text += "...";
    }
    return text;
}

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

} // namespace korvel::fakes
