#pragma once

#include "core/prompts.h"

namespace korvel {

// The dialogs a user sees.
class QtPrompts final : public Prompts {
public:
    void critical(const QString& text) override;
    bool confirm(const QString& title, const QString& text, PromptIcon icon) override;
    QString openFileName(const QString& title, const QString& filter, const QString& folder) override;
    QString saveFileName(const QString& title, const QString& filter) override;
};

// The extension a save dialog adds to a name typed without one: the first pattern of the chosen filter
// ("Trace (*.trc)" gives "trc"); empty for a filter without a plain "*.ext" pattern.
[[nodiscard]] QString defaultSuffixOf(const QString& nameFilter);

} // namespace korvel
