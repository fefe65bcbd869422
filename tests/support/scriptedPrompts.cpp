#include "support/scriptedPrompts.h"

namespace korvel::test {

void ScriptedPrompts::critical(const QString& text) {
    log_.messages << text;
}

bool ScriptedPrompts::confirm(const QString& title, const QString& text, PromptIcon) {
    log_.messages << title + QLatin1Char('|') + text;
    if (log_.answers.empty())
        return false;
    const bool answer = log_.answers.front();
    log_.answers.pop_front();
    return answer;
}

QString ScriptedPrompts::openFileName(const QString&, const QString&, const QString& folder) {
    log_.openFolders << folder;
    return nextFileName();
}

QString ScriptedPrompts::nextFileName() {
    if (log_.fileNames.empty())
        return {};
    QString name = log_.fileNames.front();
    log_.fileNames.pop_front();
    return name;
}

QString ScriptedPrompts::saveFileName(const QString&, const QString&) {
    return nextFileName();
}

PromptsScope::PromptsScope() : previous_(setPrompts(std::make_unique<ScriptedPrompts>(log))) {
}

PromptsScope::~PromptsScope() {
    setPrompts(std::move(previous_));
}

} // namespace korvel::test
