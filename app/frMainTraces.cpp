// The main window's trace files: File → Save Trace and Load Trace, in the Trace format or, when the file
// name asks for one, a log format other CAN tools exchange.

#include "app/frMain.h"
#include "core/basGlobal.h"
#include "core/prompts.h"
#include "core/textFile.h"
#include "receive/tracerEdit.h"
#include "receive/tracerView.h"
#include "traces/logCommands.h"
#include "traces/logFiles.h"
#include "traces/traceFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QProgressDialog>

#include <algorithm>
#include <cstdint>
#include <memory>

namespace korvel {

namespace {

const QString kTraceFilter = QString::fromLatin1(kTraceFileFilter);

// A progress dialog that appears only when the work takes longer than a moment. While it shows, the event
// loop runs (recording goes on) but the main window takes no input.
struct TraceProgressDialog {
    std::unique_ptr<QProgressDialog> dialog;
    TraceProgressDialog(const QString& label, QWidget* parent)
        : dialog(std::make_unique<QProgressDialog>(label, QString(), 0, 1000, parent)) {
        dialog->setObjectName(QStringLiteral("traceProgress"));
        dialog->setAccessibleName(label);
        dialog->setWindowModality(Qt::WindowModal);
        dialog->setMinimumDuration(300);
        dialog->setAutoClose(false);
        dialog->setAutoReset(false);
        dialog->setValue(0);
    }
    TraceProgress callback() const {
        return [d = dialog.get()](std::int64_t done, std::int64_t total) {
            if (total > 0)
                d->setValue(static_cast<int>(std::min<std::int64_t>(1000, done * 1000 / total)));
        };
    }
};

} // namespace

void frMain::saveTrace() {
    const QString file = prompts().saveFileName(QStringLiteral("Save Trace"), kTraceFilter);
    if (file.isEmpty())
        return;
    basGlobal.lastFileName = file.toStdString();
    if (logFormatForPath(basGlobal.lastFileName) != LogFormat::trace) {
        const TracerStore& store = tracerView_->lines();
        saveTracerLog(basGlobal.lastFileName, [&store](const TracerTimedLineVisit& visit) {
            store.forEachTimedLine([&visit](std::string_view line, std::int64_t timeUs) {
                visit(line, timeUs);
                return true;
            });
        });
        txtTracer->setSelection(TracerPos{}, TracerPos{});
        return;
    }
    // A trace larger than Korvel loads back would be a file the user cannot open again here.
    const std::int64_t loadLimit = traceLoadLimitBytes(basGlobal.recordingLimitBytes);
    if (static_cast<std::int64_t>(tracerView_->lines().memoryBytes()) > loadLimit &&
        !prompts().confirm(QStringLiteral("Korvel"),
                           QString::fromStdString("This trace is larger than Korvel can load again (" +
                                                  std::to_string(loadLimit >> 20) +
                                                  " MB, a quarter more than the recording limit). Save it "
                                                  "anyway?"),
                           PromptIcon::question))
        return;
    std::string error;
    bool saved = false;
    {
        const TraceProgressDialog progress(QStringLiteral("Saving trace..."), this);
        saved = saveTraceFile(basGlobal.lastFileName, tracerView_->lines(), error, progress.callback());
    }
    // The text stays as it was; the caret goes to its start with nothing selected.
    txtTracer->setSelection(TracerPos{}, TracerPos{});
    if (!saved)
        prompts().critical(QString::fromStdString(saveFailedText(basGlobal.lastFileName, error)));
}

void frMain::loadTrace() {
    // The open dialog starts in the program's own folder.
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    const QString file = prompts().openFileName(QStringLiteral("Load Trace"), kTraceFilter, {});
    if (file.isEmpty())
        return;
    basGlobal.lastFileName = file.toStdString();
    if (logFormatForPath(basGlobal.lastFileName) != LogFormat::trace) {
        TracerStore fromLog;
        if (loadTracerLog(basGlobal.lastFileName,
                          [&fromLog](std::string_view lines) { fromLog.append(lines); }))
            tracerView_->replaceAll(std::move(fromLog));
        return;
    }
    std::string error;
    TracerStore loaded;
    bool read = false;
    {
        const TraceProgressDialog progress(QStringLiteral("Loading trace..."), this);
        read = loadTraceFile(basGlobal.lastFileName, loaded, error, progress.callback(),
                             traceLoadLimitBytes(basGlobal.recordingLimitBytes));
    }
    if (!read) {
        prompts().critical(QString::fromStdString(readFailedText(basGlobal.lastFileName, error)));
        return;
    }
    tracerView_->replaceAll(std::move(loaded));
}

} // namespace korvel
