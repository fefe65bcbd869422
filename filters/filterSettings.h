#pragma once

// The settings the filter dialog edits, as a copy that is written back only on "Ok", and the rules of
// its text boxes.

#include "core/basGlobal.h"

#include <QString>
#include <QStringView>

#include <string>
#include <string_view>

namespace korvel {

struct FilterSettings {
    std::string acceptanceCodeText;
    std::string acceptanceMaskText;
    std::string rangeFilterStartText;
    std::string rangeFilterEndText;
    std::string discreteFilterText;
    bool maskFilterOn = false;
    bool rangeFilterOn = false;
};

[[nodiscard]] FilterSettings filterSettingsOf(const GlobalState& state);
// Stores the texts and switches and recomputes the values read from them (the code is masked with the new
// mask).
void applyFilterSettings(GlobalState& state, const FilterSettings& settings);

inline constexpr int kFilterFieldLength = 8;
// The discrete box has no limit of its own; this is the text box's.
inline constexpr int kMaxDiscreteLength = 32767;

// What a code, mask, start or end box may hold: hexadecimal digits, at most eight; the discrete box also
// takes "," and has no length limit of its own. Letters count in either case (the box upper-cases them).
// A paste that holds anything else, or is too long, is refused as a whole rather than cut into a
// different number.
[[nodiscard]] bool isFilterFieldText(QStringView text, bool allowComma, qsizetype maxLength);
// A stored setting as the box can show it: the allowed characters upper-cased, the rest dropped.
[[nodiscard]] QString filterFieldText(QStringView text, bool allowComma, qsizetype maxLength);
// The code and mask boxes: "0" appended up to eight characters (7FF becomes 7FF00000).
[[nodiscard]] QString padAcceptanceText(QStringView text);

} // namespace korvel
