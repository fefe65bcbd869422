#pragma once

// The settings file format: "[Section]" lines open sections, "Key=Value" lines follow. Names match without
// regard to case; lines the program does not know (comments, other keys) are kept as they are.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

inline constexpr std::size_t kIniMaxValueLength = 254;

class IniDocument {
public:
    IniDocument() = default;
    explicit IniDocument(std::string_view text) { parse(text); }

    // A missing or unreadable file gives an empty document.
    static IniDocument load(const std::string& path);
    // Replaces the file atomically; false when it could not be written.
    bool save(const std::string& path) const;

    [[nodiscard]] std::optional<std::string> value(std::string_view section, std::string_view key) const;
    // Creates the section and the key when missing; other lines keep their place.
    void setValue(std::string_view section, std::string_view key, std::string_view value);

    [[nodiscard]] std::string text() const;

private:
    void parse(std::string_view text);
    [[nodiscard]] std::optional<std::size_t> findSection(std::string_view section) const;
    [[nodiscard]] std::size_t sectionEnd(std::size_t headerLine) const;

    std::vector<std::string> lines_;
};

// The settings file's reading rules: a text value cut to 254 characters (default when missing), and an
// integer value read from its leading decimal digits with an optional minus (default when missing).
[[nodiscard]] std::string readIniString(const std::string& path, std::string_view section,
                                        std::string_view key, std::string_view defaultValue = "0");
[[nodiscard]] std::string iniString(const IniDocument& ini, std::string_view section, std::string_view key,
                                    std::string_view defaultValue = "0");
[[nodiscard]] int32_t iniInteger(const IniDocument& ini, std::string_view section, std::string_view key,
                                 int32_t defaultValue = 0);
bool writeIniString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value);

} // namespace korvel
