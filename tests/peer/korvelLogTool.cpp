// Converts between the Tracer's text and the log formats with Korvel's own code, so the peer tests can
// hand python-can the files Korvel writes and hand Korvel the files python-can writes.
//   korvel-logtool save <tracer text> <file.log|file.asc>
//   korvel-logtool load <file.log|file.asc> <tracer text>   (prints what was left out)

#include "core/textFile.h"
#include "traces/ascLog.h"
#include "traces/logFiles.h"

#include <QDateTime>

#include <cstdio>
#include <string>

using namespace korvel;

namespace {

int fail(const std::string& text) {
    std::fprintf(stderr, "korvel-logtool: %s\n", text.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4)
        return fail("usage: korvel-logtool save|load <from> <to>");
    const std::string command = argv[1];
    const std::string from = argv[2];
    const std::string to = argv[3];
    std::string error;
    if (command == "save") {
        std::string tracer;
        if (!readTextFile(from, tracer, kMaxTextFileBytes, &error))
            return fail(readFailedText(from, error));
        const LogSaveResult saved =
            logTextFromTracer(logFormatForPath(to), tracer, ascDateText(QDateTime::currentDateTime()));
        if (!writeTextFileAtomically(to, saved.text, &error))
            return fail(saveFailedText(to, error));
        std::printf("frames=%zu skipped=%zu\n", saved.frames, saved.skippedLines);
        return 0;
    }
    if (command == "load") {
        LogLoadResult loaded;
        if (!loadLogFile(logFormatForPath(from), from, {}, loaded, &error))
            return fail(readFailedText(from, error));
        if (!writeTextFileAtomically(to, loaded.tracerText, &error))
            return fail(saveFailedText(to, error));
        std::printf("frames=%zu fd=%zu error=%zu events=%zu unreadable=%zu jumps=%zu\n", loaded.frames,
                    loaded.canFdFrames, loaded.errorFrames, loaded.otherEvents, loaded.unreadableLines,
                    loaded.timeJumps);
        return 0;
    }
    return fail("unknown command " + command);
}
