#include "app/qtPrompts.h"

#include "core/basGlobal.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QRegularExpression>

namespace korvel {

namespace {
QWidget* dialogParent() {
    return QApplication::activeWindow();
}

// The folder of the last file chosen, where the next file dialog opens.
QString& lastFolder() {
    static QString folder;
    return folder;
}

QString remembered(const QString& file) {
    if (!file.isEmpty())
        lastFolder() = QFileInfo(file).absolutePath();
    return file;
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

QString QtPrompts::openFileName(const QString& title, const QString& filter, const QString& folder) {
    const QString start = folder.isEmpty() ? lastFolder() : folder;
    return remembered(QFileDialog::getOpenFileName(dialogParent(), title, start, filter));
}

QString QtPrompts::saveFileName(const QString& title, const QString& filter) {
    // A name typed without an extension gets the chosen filter's, so the file shows up in the open dialog
    // and its suffix picks the format it is written in.
    QFileDialog dialog(dialogParent(), title, lastFolder(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffixOf(dialog.selectedNameFilter()));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog](const QString& chosen) { dialog.setDefaultSuffix(defaultSuffixOf(chosen)); });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return remembered(dialog.selectedFiles().constFirst());
}

QString defaultSuffixOf(const QString& nameFilter) {
    static const QRegularExpression pattern(QStringLiteral(R"(\*\.([A-Za-z0-9]+)[ );])"));
    const QRegularExpressionMatch match = pattern.match(nameFilter + QLatin1Char(' '));
    return match.hasMatch() ? match.captured(1) : QString();
}

} // namespace korvel
