#include "filters/filterSettings.h"

#include "core/numberText.h"
#include "filters/filterTests.h"

#include <algorithm>

namespace korvel {

FilterSettings filterSettingsOf(const GlobalState& state) {
    FilterSettings s;
    s.acceptanceCodeText = state.acceptanceCodeText;
    s.acceptanceMaskText = state.acceptanceMaskText;
    s.rangeFilterStartText = state.rangeFilterStartText;
    s.rangeFilterEndText = state.rangeFilterEndText;
    s.discreteFilterText = state.discreteFilterText;
    s.maskFilterOn = state.hasOption(optMaskFilter);
    s.rangeFilterOn = state.hasOption(optRangeFilter);
    return s;
}

void applyFilterSettings(GlobalState& state, const FilterSettings& settings) {
    state.rangeFilterStartText = settings.rangeFilterStartText;
    state.rangeFilterEndText = settings.rangeFilterEndText;
    state.discreteFilterText = settings.discreteFilterText;
    state.discreteFilterIds = readDiscreteFilterIds(state.discreteFilterText);
    state.rangeFilterStart = readHexNumber(state.rangeFilterStartText);
    state.rangeFilterEnd = readHexNumber(state.rangeFilterEndText);
    state.setOption(optRangeFilter, settings.rangeFilterOn);
    state.acceptanceMaskText = settings.acceptanceMaskText;
    state.acceptanceMaskInv = ~readHexNumber(state.acceptanceMaskText);
    state.acceptanceCodeText = settings.acceptanceCodeText;
    state.acceptanceCodeMasked = readHexNumber(state.acceptanceCodeText) & state.acceptanceMaskInv;
    state.setOption(optMaskFilter, settings.maskFilterOn);
}

namespace {

bool allowedChar(QChar c, bool allowComma) {
    const char16_t u = c.toUpper().unicode();
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'F') || (allowComma && u == ',');
}

} // namespace

bool isFilterFieldText(QStringView text, bool allowComma, qsizetype maxLength) {
    return text.size() <= maxLength &&
           std::all_of(text.begin(), text.end(), [&](QChar c) { return allowedChar(c, allowComma); });
}

QString filterFieldText(QStringView text, bool allowComma, qsizetype maxLength) {
    QString out;
    for (QChar c : text) {
        if (out.size() >= maxLength)
            break;
        if (allowedChar(c, allowComma))
            out.append(c.toUpper());
    }
    return out;
}

QString padAcceptanceText(QStringView text) {
    QString out = text.toString();
    if (out.size() < kFilterFieldLength)
        out.append(QString(kFilterFieldLength - out.size(), QLatin1Char('0')));
    return out;
}

} // namespace korvel
