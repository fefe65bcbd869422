#pragma once

// A text of bounded length held inside its owner, so the receive path builds frame records without a heap
// allocation per frame. Appends beyond the capacity are dropped.

#include <array>
#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

namespace korvel {

template <std::size_t Capacity> class ShortText {
public:
    ShortText() = default;
    explicit ShortText(std::string_view text) { assign(text); }

    void assign(std::string_view text) {
        size_ = 0;
        append(text);
    }
    void append(std::string_view text) {
        for (char c : text)
            push_back(c);
    }
    void push_back(char c) {
        if (size_ < Capacity)
            chars_[size_++] = c;
    }
    void clear() { size_ = 0; }

    [[nodiscard]] std::size_t size() const { return size_; }
    [[nodiscard]] bool empty() const { return size_ == 0; }
    [[nodiscard]] const char* data() const { return chars_.data(); }
    [[nodiscard]] char operator[](std::size_t i) const { return chars_[i]; }
    [[nodiscard]] std::string_view view() const { return {chars_.data(), size_}; }
    [[nodiscard]] std::string str() const { return std::string(view()); }
    friend bool operator==(const ShortText& a, const ShortText& b) { return a.view() == b.view(); }
    friend bool operator==(const ShortText& a, std::string_view b) { return a.view() == b; }
    friend std::ostream& operator<<(std::ostream& out, const ShortText& t) { return out << t.view(); }

private:
    std::array<char, Capacity> chars_{};
    std::size_t size_ = 0;
};

} // namespace korvel
