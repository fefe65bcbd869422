#include "traces/logCommands.h"

#include "core/basGlobal.h"
#include "core/prompts.h"
#include "core/textFile.h"
#include "receive/comments.h"
#include "traces/ascLog.h"
#include "traces/logFiles.h"

#include <QDateTime>

namespace korvel {

namespace {

void tell(const std::string& text) {
    if (!text.empty())
        prompts().critical(QString::fromStdString(text));
}

} // namespace

void saveTracerLog(const std::string& path, const TracerLineSource& lines) {
    saveTracerLog(path, untimedLines(lines));
}

void saveTracerLog(const std::string& path, const TracerTimedLineSource& lines) {
    const LogFormat format = logFormatForPath(path);
    const std::string date = ascDateText(QDateTime::currentDateTime());
    LogSaveResult saved;
    std::string error;
    const bool written = writeFileAtomically(
        path, [&](const ByteSink& write) { return writeLogFromTracer(format, lines, date, write, saved); },
        &error);
    if (!written) {
        tell(saveFailedText(path, error));
        return;
    }
    tell(saveReportText(path, saved));
}

bool loadTracerLog(const std::string& path, const std::function<void(std::string_view lines)>& output) {
    CommentIndex comments;
    comments.setList(basGlobal.commentListText);
    LogLoadOptions options;
    options.decimalSeparator = basGlobal.decimalSeparator;
    options.comment = [&comments](const CanFrame& frame, std::string& comment) {
        frameComment(frame.idText.view(), frame.dataText.view(), comments, basGlobal.options, comment);
    };
    options.output = output;
    LogLoadResult loaded;
    std::string error;
    if (!loadLogFile(logFormatForPath(path), path, options, loaded, &error)) {
        tell(readFailedText(path, error));
        return false;
    }
    tell(loadReportText(path, loaded));
    return true;
}

} // namespace korvel
