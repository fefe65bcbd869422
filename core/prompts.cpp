#include "core/prompts.h"

namespace korvel {

namespace {

// Until the program installs its dialogs nothing is shown and every question is declined.
class SilentPrompts final : public Prompts {
public:
    void critical(const QString&) override {}
    bool confirm(const QString&, const QString&, PromptIcon) override { return false; }
    QString openFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&) override { return {}; }
};

std::unique_ptr<Prompts>& current() {
    static std::unique_ptr<Prompts> instance = std::make_unique<SilentPrompts>();
    return instance;
}

} // namespace

Prompts& prompts() {
    return *current();
}

std::unique_ptr<Prompts> setPrompts(std::unique_ptr<Prompts> replacement) {
    std::unique_ptr<Prompts> previous = std::move(current());
    current() = replacement ? std::move(replacement) : std::make_unique<SilentPrompts>();
    return previous;
}

} // namespace korvel
