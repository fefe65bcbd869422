// What both fake vendor libraries keep besides their devices: a bounded call log, a clock that tests can
// hold still, and per-function failures.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace korvel::fakes {

class CallLog {
public:
    static constexpr size_t kMaxEntries = 1000;

    void add(std::string entry);
    // Newline-separated, oldest first; the pointer lives until the next text() or clear().
    const char* text();
    void clear();

private:
    std::deque<std::string> entries_;
    std::string joined_;
};

class FakeClock {
public:
    [[nodiscard]] int64_t nowUs() const;
    void set(int64_t nowUs) { manual_ = nowUs; }
    void useSteady() { manual_.reset(); }

private:
    std::optional<int64_t> manual_;
};

class Failures {
public:
    void set(std::string_view function, uint32_t status);
    [[nodiscard]] uint32_t of(std::string_view function) const;
    void clear() { statuses_.clear(); }

private:
    std::map<std::string, uint32_t, std::less<>> statuses_;
};

// Bytes as a log shows them: printable characters as they are, others as \r, \a or \xNN; at most 40.
[[nodiscard]] std::string printable(std::string_view bytes);
[[nodiscard]] std::string hex(uint32_t value);

} // namespace korvel::fakes
