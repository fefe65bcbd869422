// A settings file as start-up reads it, and the same settings written at shutdown and read again.

#include "fuzz/fuzzCheck.h"

#include "core/iniFile.h"
#include "core/numberText.h"
#include "core/textFile.h"
#include "settings/settingsStore.h"

#include <QString>

#include <algorithm>
#include <optional>
#include <string>

using namespace korvel;

namespace {

void checkText(const std::string& value) {
    // At most 254 bytes of the file, read as UTF-8 or in the code page: never more characters, always UTF-8.
    FUZZ_CHECK(isValidUtf8(value));
    const auto characters = std::count_if(
        value.begin(), value.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
    FUZZ_CHECK(static_cast<std::size_t>(characters) <= kIniMaxValueLength);
}

void checkState(const GlobalState& state) {
    for (const std::string* text :
         {&state.comPort, &state.comBaudrate, &state.userBitrate, &state.acceptanceMaskText,
          &state.acceptanceCodeText, &state.rangeFilterStartText, &state.rangeFilterEndText,
          &state.discreteFilterText})
        checkText(*text);
    for (const std::string* hex : {&state.acceptanceMaskText, &state.acceptanceCodeText,
                                   &state.rangeFilterStartText, &state.rangeFilterEndText})
        FUZZ_CHECK(leadingHexDigits(*hex) <= 8);
    FUZZ_CHECK(state.deviceKind >= deviceNone && state.deviceKind <= deviceSocketCan);
    FUZZ_CHECK(state.canBitrateIndex >= 0 && state.canBitrateIndex <= 9);
    FUZZ_CHECK(state.options >= -32768 && state.options <= 32767);
    FUZZ_CHECK(state.comBaudrate != "0");
}

// A value cut to its longest length (or up to three bytes short of it, where the cut would split a
// character) may end in a blank, which the next reading trims away, and one read in the code page may be
// written back in UTF-8 and then be cut shorter; nothing else may change.
bool sameText(std::string_view a, std::string_view b) {
    const auto end = [](std::string_view s) {
        while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
            s.remove_suffix(1);
        return s;
    };
    return a == b || (a.size() + 3 >= kIniMaxValueLength && end(a).starts_with(end(b)));
}

bool sameSettings(const GlobalState& a, const GlobalState& b) {
    return sameText(a.comPort, b.comPort) && sameText(a.comBaudrate, b.comBaudrate) &&
           sameText(a.userBitrate, b.userBitrate) && sameText(a.acceptanceMaskText, b.acceptanceMaskText) &&
           sameText(a.acceptanceCodeText, b.acceptanceCodeText) &&
           sameText(a.rangeFilterStartText, b.rangeFilterStartText) &&
           sameText(a.rangeFilterEndText, b.rangeFilterEndText) &&
           sameText(a.discreteFilterText, b.discreteFilterText) && a.options == b.options &&
           a.deviceKind == b.deviceKind && a.canBitrateIndex == b.canBitrateIndex &&
           a.acceptanceMaskInv == b.acceptanceMaskInv && a.acceptanceCodeMasked == b.acceptanceCodeMasked &&
           a.rangeFilterStart == b.rangeFilterStart && a.rangeFilterEnd == b.rangeFilterEnd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const bool utf8 = isValidUtf8(bytes);
    const QByteArray qtBytes(bytes.data(), static_cast<qsizetype>(bytes.size()));
    // Qt's decoder drops a leading byte-order mark, so compare without one.
    if (!qtBytes.startsWith("\xEF\xBB\xBF"))
        FUZZ_CHECK(utf8 == (QString::fromUtf8(qtBytes).toUtf8() == qtBytes));
    // Any bytes read in the code page come back as they were.
    const std::optional<std::string> codePage = utf8ToWindows1252(windows1252ToUtf8(bytes));
    FUZZ_CHECK(codePage && *codePage == bytes);

    // The file's bytes, as the reader hands them over.
    const IniDocument ini(bytes);
    const std::string written = ini.text();
    FUZZ_CHECK(IniDocument(written).text() == written);

    GlobalState state;
    const LoadedPlacement loaded = loadSettingsFrom(ini, state);
    checkState(state);
    FUZZ_CHECK(loaded.placement.windowState >= 0 && loaded.placement.windowState <= 2);
    FUZZ_CHECK(!loaded.hasPosition || loaded.placement.width > 0);

    // What shutdown writes, start-up reads back unchanged.
    state.splitPosition = loaded.split;
    IniDocument saved = ini;
    saveSettingsTo(saved, state, loaded.placement);
    GlobalState again;
    const LoadedPlacement reloaded = loadSettingsFrom(IniDocument(saved.text()), again);
    FUZZ_CHECK(sameSettings(state, again));
    FUZZ_CHECK(reloaded.split == loaded.split);
    FUZZ_CHECK(reloaded.hasPosition == loaded.hasPosition);
    if (loaded.hasPosition) {
        const WindowPlacement& a = loaded.placement;
        const WindowPlacement& b = reloaded.placement;
        FUZZ_CHECK(a.windowState == b.windowState && a.top == b.top && a.left == b.left &&
                   a.height == b.height && a.width == b.width);
    }
    return 0;
}
