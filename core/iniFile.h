#pragma once

// The settings file format: "[Section]" lines open sections, "Key=Value" lines follow. Names match without
// regard to case; lines the program does not write (comments, other keys) are kept byte for byte.
//
// Files come from this program and from older ones that wrote the Windows code page, and a file edited by
// both may mix the two. So each line is read as UTF-8 when it is valid UTF-8, and as Windows-1252
// otherwise. A file that is all UTF-8 (or new) gets its lines written in UTF-8; any other file keeps its
// code page: a line written into it is in Windows-1252, unless it holds a character the code page lacks or
// its bytes would read as UTF-8, and then that one line is UTF-8. Either way every line reads back as it
// was written, and no line the program does not write changes.

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
    // The bytes of a file.
    explicit IniDocument(std::string_view bytes) { parse(bytes); }

    // A missing or unreadable file gives an empty document.
    static IniDocument load(const std::string& path, std::size_t maxBytes = kMaxIniFileBytes);
    // A missing file gives an empty document; a file that exists but cannot be read (not a regular file,
    // larger than `maxBytes`, no permission) gives nothing, and `error` says why. Writers use this so that
    // they never replace a file they could not read.
    static std::optional<IniDocument> read(const std::string& path, std::string* error = nullptr,
                                           std::size_t maxBytes = kMaxIniFileBytes);
    // Replaces the file atomically; false when it could not be written, and `error` (when given) says why.
    bool save(const std::string& path, std::string* error = nullptr) const;

    // The value as text, as the profile reader delivers it: at most 254 bytes of the file, never cut inside
    // a character. Section and key names are matched in ASCII.
    [[nodiscard]] std::optional<std::string> value(std::string_view section, std::string_view key) const;
    // Creates the section and the key when missing; other lines keep their place. Names and value are
    // UTF-8 text.
    void setValue(std::string_view section, std::string_view key, std::string_view value);

    // For files of many keys: a section's key lines in file order, and setValue for many keys in one pass
    // (the same result as one setValue per key, in their order).
    using Entries = std::vector<std::pair<std::string, std::string>>;
    [[nodiscard]] Entries entries(std::string_view section) const;
    void setValues(std::string_view section, const Entries& values);

    // False for a file in the Windows code page.
    [[nodiscard]] bool isUtf8File() const { return utf8File_; }
    // The file's bytes.
    [[nodiscard]] std::string text() const;

private:
    void parse(std::string_view bytes);
    [[nodiscard]] std::string fileLine(std::string line) const;
    [[nodiscard]] std::optional<std::size_t> findSection(std::string_view section) const;
    [[nodiscard]] std::size_t sectionEnd(std::size_t headerLine) const;

    std::vector<std::string> lines_; // as the file holds them
    bool utf8File_ = true;
};

// The settings file's reading rules: a text value as IniDocument::value gives it (default when missing),
// and an integer value read from its leading decimal digits with an optional minus (default when missing).
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
