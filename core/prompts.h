#pragma once

// Every message box and file dialog goes through this seam: the program shows Qt dialogs, tests install a
// scripted implementation that records each text and returns prepared answers.

#include <QString>

#include <memory>

namespace korvel {

enum class PromptIcon { critical, question };

class Prompts {
public:
    virtual ~Prompts() = default;
    // An error box: critical icon, one OK button, the program's title.
    virtual void critical(const QString& text) = 0;
    // A question with OK and Cancel; true for OK. An empty title means the program's title.
    virtual bool confirm(const QString& title, const QString& text, PromptIcon icon) = 0;
    // File dialogs; an empty result means the user cancelled. An open dialog starts in `folder`, or, when
    // that is empty, where the last file was chosen.
    virtual QString openFileName(const QString& title, const QString& filter, const QString& folder) = 0;
    virtual QString saveFileName(const QString& title, const QString& filter) = 0;
};

Prompts& prompts();
// Installs a replacement and returns the previous one.
std::unique_ptr<Prompts> setPrompts(std::unique_ptr<Prompts> replacement);

} // namespace korvel
