// The main window's Save Trace and Load Trace for the log formats other CAN tools exchange. A Trace file
// (.trc) name ends the command without a change.

#include "app/frMain.h"
#include "core/basGlobal.h"
#include "core/prompts.h"
#include "receive/tracerView.h"
#include "traces/logCommands.h"
#include "traces/logFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QPlainTextEdit>

namespace korvel {

void frMain::saveTrace() {
    const QString file =
        prompts().saveFileName(QStringLiteral("Save Trace"), QString::fromLatin1(kTraceFileFilter));
    if (file.isEmpty())
        return;
    basGlobal.lastFileName = file.toStdString();
    if (logFormatForPath(basGlobal.lastFileName) == LogFormat::trace)
        return;
    const std::string text = txtTracer->toPlainText().toStdString();
    saveTracerLog(basGlobal.lastFileName, tracerTextLines(text));
}

void frMain::loadTrace() {
    // The open dialog starts in the program's own folder.
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    const QString file =
        prompts().openFileName(QStringLiteral("Load Trace"), QString::fromLatin1(kTraceFileFilter));
    if (file.isEmpty())
        return;
    basGlobal.lastFileName = file.toStdString();
    if (logFormatForPath(basGlobal.lastFileName) == LogFormat::trace)
        return;
    std::string text;
    if (!loadTracerLog(basGlobal.lastFileName, [&text](std::string_view lines) { text += lines; }))
        return;
    txtTracer->clear();
    tracerView_->appendTracerText(text);
}

} // namespace korvel
