#include "app/qtPrompts.h"

#include "core/basGlobal.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace korvel {

namespace {
QWidget* dialogParent() {
    return QApplication::activeWindow();
}
} // namespace

void QtPrompts::critical(const QString& text) {
    QMessageBox::critical(dialogParent(), QString::fromLatin1(kAppTitle), text);
}

bool QtPrompts::confirm(const QString& title, const QString& text, PromptIcon icon) {
    const QString caption = title.isEmpty() ? QString::fromLatin1(kAppTitle) : title;
    const auto buttons = QMessageBox::Ok | QMessageBox::Cancel;
    const auto answer = icon == PromptIcon::question
                            ? QMessageBox::question(dialogParent(), caption, text, buttons, QMessageBox::Ok)
                            : QMessageBox::critical(dialogParent(), caption, text, buttons, QMessageBox::Ok);
    return answer == QMessageBox::Ok;
}

QString QtPrompts::openFileName(const QString& title, const QString& filter) {
    return QFileDialog::getOpenFileName(dialogParent(), title, QString(), filter);
}

QString QtPrompts::saveFileName(const QString& title, const QString& filter) {
    return QFileDialog::getSaveFileName(dialogParent(), title, QString(), filter);
}

} // namespace korvel
