#pragma once

// Records every message and answers questions from a prepared script, so no dialog ever blocks a test.

#include "core/prompts.h"

#include <QStringList>

#include <deque>

namespace korvel::test {

class ScriptedPrompts final : public Prompts {
public:
    struct Log {
        QStringList messages; // critical boxes and questions, in order; questions as "title|text"
        std::deque<bool> answers;
        std::deque<QString> fileNames;
        QStringList openFolders; // where each open dialog was asked to start
    };

    explicit ScriptedPrompts(Log& log) : log_(log) {}

    void critical(const QString& text) override;
    bool confirm(const QString& title, const QString& text, PromptIcon icon) override;
    QString openFileName(const QString& title, const QString& filter, const QString& folder) override;
    QString saveFileName(const QString& title, const QString& filter) override;

private:
    QString nextFileName();
    Log& log_;
};

// Installs scripted prompts for the life of a test.
class PromptsScope {
public:
    PromptsScope();
    ~PromptsScope();
    ScriptedPrompts::Log log;

private:
    std::unique_ptr<Prompts> previous_;
};

} // namespace korvel::test
