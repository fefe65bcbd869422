#include "core/iniFile.h"

#include "core/numberText.h"
#include "core/textFile.h"

#include <QFileInfo>

namespace korvel {

namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (toUpperAscii(a[i]) != toUpperAscii(b[i]))
            return false;
    return true;
}

// The name of a "[Section]" line, or nothing.
std::optional<std::string_view> sectionName(std::string_view line) {
    line = trimmed(line);
    if (line.size() < 2 || line.front() != '[')
        return std::nullopt;
    const std::size_t close = line.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return trimmed(line.substr(1, close - 1));
}

struct KeyLine {
    std::string_view key;
    std::string_view value;
};

// A line's text: UTF-8 when it is valid UTF-8, else read in the code page. A value is cut as the profile
// reader cuts it, to 254 bytes of the file, never inside a character.
std::string lineText(std::string_view line, std::string_view part, std::size_t maxBytes) {
    if (isValidUtf8(line))
        return std::string(utf8Prefix(part, maxBytes));
    return windows1252ToUtf8(part.substr(0, maxBytes));
}

std::string valueText(std::string_view line, std::string_view value) {
    return lineText(line, value, kIniMaxValueLength);
}

std::optional<KeyLine> keyLine(std::string_view line) {
    const std::string_view t = trimmed(line);
    if (t.empty() || t.front() == ';' || t.front() == '[')
        return std::nullopt;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return KeyLine{trimmed(line.substr(0, eq)), trimmed(line.substr(eq + 1))};
}

} // namespace

IniDocument IniDocument::load(const std::string& path, std::size_t maxBytes) {
    return read(path, nullptr, maxBytes).value_or(IniDocument{});
}

std::optional<IniDocument> IniDocument::read(const std::string& path, std::string* error,
                                             std::size_t maxBytes) {
    // A dangling link counts as missing too: writing creates the file where the link points.
    if (!QFileInfo::exists(QString::fromStdString(path)))
        return IniDocument{};
    std::string bytes;
    if (!readFileBytes(path, bytes, maxBytes, error))
        return std::nullopt;
    return IniDocument(bytes);
}

void IniDocument::parse(std::string_view text) {
    lines_.clear();
    // Editors may put a byte-order mark before the first section; one saved again by an editor that adds
    // its own may carry two. Skip them all, or the next reading would lose the one kept as text.
    constexpr std::string_view bom = "\xEF\xBB\xBF";
    while (text.substr(0, bom.size()) == bom)
        text.remove_prefix(bom.size());
    utf8File_ = isValidUtf8(text);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines_.emplace_back(line);
        start = end + 1;
    }
}

std::string IniDocument::text() const {
    std::string out;
    for (const std::string& line : lines_) {
        out += line;
        out += "\r\n";
    }
    return out;
}

std::string IniDocument::fileLine(std::string line) const {
    if (utf8File_)
        return line;
    std::optional<std::string> bytes = utf8ToWindows1252(line);
    // Code-page bytes that happen to be valid UTF-8 would read back as other characters.
    if (!bytes || isValidUtf8(*bytes))
        return line;
    return std::move(*bytes);
}

bool IniDocument::save(const std::string& path, std::string* error) const {
    return writeTextFileAtomically(path, text(), error);
}

std::optional<std::size_t> IniDocument::findSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const auto name = sectionName(lines_[i]);
        if (name && sameName(*name, section))
            return i;
    }
    return std::nullopt;
}

std::size_t IniDocument::sectionEnd(std::size_t headerLine) const {
    std::size_t i = headerLine + 1;
    while (i < lines_.size() && !sectionName(lines_[i]))
        ++i;
    return i;
}

std::optional<std::string> IniDocument::value(std::string_view section, std::string_view key) const {
    const auto header = findSection(section);
    if (!header)
        return std::nullopt;
    const std::size_t end = sectionEnd(*header);
    for (std::size_t i = *header + 1; i < end; ++i) {
        const auto kv = keyLine(lines_[i]);
        if (kv && sameName(kv->key, key))
            return valueText(lines_[i], kv->value);
    }
    return std::nullopt;
}

void IniDocument::setValue(std::string_view section, std::string_view key, std::string_view value) {
    std::string line = fileLine(std::string(key) + "=" + std::string(value));
    const auto header = findSection(section);
    if (!header) {
        lines_.push_back(fileLine("[" + std::string(section) + "]"));
        lines_.push_back(std::move(line));
        return;
    }
    const std::size_t end = sectionEnd(*header);
    std::size_t insertAt = *header + 1;
    for (std::size_t i = *header + 1; i < end; ++i) {
        const auto kv = keyLine(lines_[i]);
        if (kv && sameName(kv->key, key)) {
            lines_[i] = std::move(line);
            return;
        }
        if (!trimmed(lines_[i]).empty())
            insertAt = i + 1; // after the section's last non-blank line
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(line));
}

IniDocument::Entries IniDocument::entries(std::string_view section) const {
    Entries found;
    const auto header = findSection(section);
    if (!header)
        return found;
    const std::size_t end = sectionEnd(*header);
    for (std::size_t i = *header + 1; i < end; ++i)
        if (const auto kv = keyLine(lines_[i]))
            found.emplace_back(lineText(lines_[i], kv->key, lines_[i].size()),
                               valueText(lines_[i], kv->value));
    return found;
}

void IniDocument::setValues(std::string_view section, const Entries& values) {
    const auto upper = [](std::string_view name) {
        std::string out(name);
        for (char& c : out)
            c = toUpperAscii(c);
        return out;
    };
    auto header = findSection(section);
    if (!header) {
        lines_.push_back(fileLine("[" + std::string(section) + "]"));
        header = lines_.size() - 1;
    }
    const std::size_t end = sectionEnd(*header);
    std::unordered_map<std::string, std::size_t> existing; // first line of each key
    std::size_t insertAt = *header + 1;
    for (std::size_t i = *header + 1; i < end; ++i) {
        if (const auto kv = keyLine(lines_[i]))
            existing.emplace(upper(kv->key), i);
        if (!trimmed(lines_[i]).empty())
            insertAt = i + 1;
    }
    std::vector<std::string> added;
    std::unordered_map<std::string, std::size_t> addedIndex;
    for (const auto& [key, value] : values) {
        std::string line = fileLine(key + "=" + value);
        const std::string name = upper(key);
        if (const auto it = existing.find(name); it != existing.end())
            lines_[it->second] = std::move(line);
        else if (const auto at = addedIndex.find(name); at != addedIndex.end())
            added[at->second] = std::move(line);
        else {
            addedIndex.emplace(name, added.size());
            added.push_back(std::move(line));
        }
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt),
                  std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
}

std::string iniString(const IniDocument& ini, std::string_view section, std::string_view key,
                      std::string_view defaultValue) {
    std::optional<std::string> text = ini.value(section, key);
    return text ? std::move(*text) : std::string(utf8Prefix(defaultValue, kIniMaxValueLength));
}

std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text;
    std::size_t cut = maxBytes;
    // Step back over continuation bytes to the start of the character that does not fit whole.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return text.substr(0, cut);
}

int32_t iniInteger(const IniDocument& ini, std::string_view section, std::string_view key,
                   int32_t defaultValue) {
    const auto text = ini.value(section, key);
    return text ? readIniInteger(*text, defaultValue) : defaultValue;
}

std::string readIniString(const std::string& path, std::string_view section, std::string_view key,
                          std::string_view defaultValue) {
    return iniString(IniDocument::load(path), section, key, defaultValue);
}

bool writeIniString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value, std::string* error) {
    std::optional<IniDocument> ini = IniDocument::read(path, error);
    if (!ini)
        return false;
    ini->setValue(section, key, value);
    return ini->save(path, error);
}

} // namespace korvel
