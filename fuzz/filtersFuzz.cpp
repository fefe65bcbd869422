// The filter dialog's texts (typed, pasted or read from the settings file) and the tests each received
// identifier goes through. Input: code, mask, start, end, discrete list and an identifier, one a line.

#include "fuzz/fuzzCheck.h"

#include "core/numberText.h"
#include "filters/filterSettings.h"
#include "filters/filterTests.h"
#include "settings/settingsStore.h"

#include <QString>

#include <algorithm>
#include <array>
#include <cctype>
#include <sstream>
#include <string>

using namespace korvel;

namespace {

void checkBox(const QString& typed, bool allowComma, qsizetype maxLength) {
    const QString shown = filterFieldText(typed, allowComma, maxLength);
    FUZZ_CHECK(shown.size() <= maxLength);
    FUZZ_CHECK(isFilterFieldText(shown, allowComma, maxLength));
    FUZZ_CHECK(filterFieldText(shown, allowComma, maxLength) == shown);
    if (isFilterFieldText(typed, allowComma, maxLength))
        FUZZ_CHECK(shown == typed.toUpper());
    const QString padded = padAcceptanceText(typed);
    FUZZ_CHECK(padded.size() == std::max<qsizetype>(typed.size(), kFilterFieldLength));
    FUZZ_CHECK(padded.startsWith(typed));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::array<std::string, 6> field;
    std::size_t start = 0;
    for (std::string& text : field) {
        const std::size_t end = std::min(input.find('\n', start), input.size());
        if (start < input.size())
            text = std::string(input.substr(start, end - start));
        start = end + 1;
    }
    const auto& [code, mask, rangeStart, rangeEnd, discrete, id] = field;

    for (const std::string& text : field) {
        const QString typed = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
        checkBox(typed, false, kFilterFieldLength);
        checkBox(typed, true, kMaxDiscreteLength);
    }

    // The dialog's "Ok" and start-up's reading of the settings derive the same values from the texts.
    FilterSettings settings{code, mask, rangeStart, rangeEnd, discrete, true, true};
    GlobalState applied;
    applyFilterSettings(applied, settings);
    GlobalState loaded = applied;
    computeFilterValues(loaded);
    FUZZ_CHECK(applied.acceptanceMaskInv == loaded.acceptanceMaskInv);
    FUZZ_CHECK(applied.acceptanceCodeMasked == loaded.acceptanceCodeMasked);
    FUZZ_CHECK(applied.rangeFilterStart == loaded.rangeFilterStart);
    FUZZ_CHECK(applied.rangeFilterEnd == loaded.rangeFilterEnd);
    FUZZ_CHECK((applied.acceptanceCodeMasked & ~applied.acceptanceMaskInv) == 0);

    const int32_t options = applied.options;
    const bool maskPasses =
        maskFilterPasses(id, devicePeakUsb, options, applied.acceptanceMaskInv, applied.acceptanceCodeMasked);
    FUZZ_CHECK(maskPasses ==
               ((readHexNumber(id) & applied.acceptanceMaskInv) == applied.acceptanceCodeMasked));
    // Adapters that filter themselves, and a switched-off filter, let everything through.
    FUZZ_CHECK(
        maskFilterPasses(id, deviceCom, options, applied.acceptanceMaskInv, applied.acceptanceCodeMasked));
    FUZZ_CHECK(
        maskFilterPasses(id, devicePeakUsb, 0, applied.acceptanceMaskInv, applied.acceptanceCodeMasked));

    // A model of the discrete list apart from the filter's: whole comma separated entries, blanks around
    // them trimmed, one to eight hexadecimal digits, three or fewer naming a standard identifier.
    const auto hexId = [](std::string_view text) {
        return !text.empty() && text.size() <= 8 && std::all_of(text.begin(), text.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c));
        });
    };
    const bool extended = id.size() > 3;
    bool named = false;
    if (hexId(id)) {
        std::istringstream entries(discrete);
        for (std::string entry; std::getline(entries, entry, ',');) {
            const auto first = entry.find_first_not_of(" \t");
            const std::string trimmed = first == std::string::npos
                                            ? std::string()
                                            : entry.substr(first, entry.find_last_not_of(" \t") - first + 1);
            if (hexId(trimmed) && (trimmed.size() > 3) == extended &&
                std::stoul(trimmed, nullptr, 16) == std::stoul(id, nullptr, 16))
                named = true;
        }
    }
    FUZZ_CHECK(applied.discreteFilterIds == loaded.discreteFilterIds);
    FUZZ_CHECK(std::is_sorted(applied.discreteFilterIds.begin(), applied.discreteFilterIds.end()));

    const bool rangePasses = rangeFilterPasses(id, extended, options, applied.rangeFilterStart,
                                               applied.rangeFilterEnd, applied.discreteFilterIds);
    const int32_t value = readHexNumber(id);
    const bool inRange = applied.rangeFilterStart <= value && value <= applied.rangeFilterEnd;
    FUZZ_CHECK(rangePasses == (inRange || named));
    FUZZ_CHECK(rangeFilterPasses(id, extended, 0, applied.rangeFilterStart, applied.rangeFilterEnd,
                                 applied.discreteFilterIds));
    return 0;
}
