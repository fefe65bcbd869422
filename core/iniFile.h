#pragma once

// The settings file format: "[Section]" lines open sections, "Key=Value" lines follow. Names match without
// regard to case; lines the program does not know (comments, other keys) are kept as they are.

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace korvel {

inline constexpr std::size_t kIniMaxValueLength = 254;
// A settings file is a few dozen lines; anything much larger is not one, and reading it would cost time and
// memory at every start.
inline constexpr std::size_t kMaxIniFileBytes = 1024 * 1024;

class IniDocument {
public:
    IniDocument() = default;
    explicit IniDocument(std::string_view text) { parse(text); }

    // A missing or unreadable file gives an empty document.
    static IniDocument load(const std::string& path, std::size_t maxBytes = kMaxIniFileBytes);
    // A missing file gives an empty document; a file that exists but cannot be read (not a regular file,
    // larger than `maxBytes`, no permission) gives nothing, and `error` says why. Writers use this so that
    // they never replace a file they could not read.
    static std::optional<IniDocument> read(const std::string& path, std::string* error = nullptr,
                                           std::size_t maxBytes = kMaxIniFileBytes);
    // Replaces the file atomically; false when it could not be written, and `error` (when given) says why.
    bool save(const std::string& path, std::string* error = nullptr) const;

    [[nodiscard]] std::optional<std::string> value(std::string_view section, std::string_view key) const;
    // Creates the section and the key when missing; other lines keep their place.
    void setValue(std::string_view section, std::string_view key, std::string_view value);

    // For files of many keys: a section's key lines in file order, and setValue for many keys in one pass
    // (the same result as one setValue per key, in their order).
    using Entries = std::vector<std::pair<std::string, std::string>>;
    [[nodiscard]] Entries entries(std::string_view section) const;
    void setValues(std::string_view section, const Entries& values);

    [[nodiscard]] std::string text() const;

private:
    void parse(std::string_view text);
    [[nodiscard]] std::optional<std::size_t> findSection(std::string_view section) const;
    [[nodiscard]] std::size_t sectionEnd(std::size_t headerLine) const;

    std::vector<std::string> lines_;
};

// The settings file's reading rules: a text value cut to 254 bytes, never inside a UTF-8 character (default
// when missing), and an integer value read from its leading decimal digits with an optional minus (default
// when missing).
[[nodiscard]] std::string readIniString(const std::string& path, std::string_view section,
                                        std::string_view key, std::string_view defaultValue = "0");
[[nodiscard]] std::string iniString(const IniDocument& ini, std::string_view section, std::string_view key,
                                    std::string_view defaultValue = "0");
[[nodiscard]] int32_t iniInteger(const IniDocument& ini, std::string_view section, std::string_view key,
                                 int32_t defaultValue = 0);
// False, with the file unchanged, when it exists but cannot be read, or cannot be written.
bool writeIniString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value, std::string* error = nullptr);

// The longest start of `text` of at most `maxBytes` bytes that does not end inside a UTF-8 character.
[[nodiscard]] std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes);

} // namespace korvel
