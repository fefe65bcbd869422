#pragma once

// Where a running virtual adapter announces itself: korvel-sim keeps a symbolic link to its terminal there,
// and the settings dialog's device list offers that link while it leads to a terminal. Header only, so the
// virtual adapter shares it without linking the program's code.

#include <QDir>
#include <QFileInfo>
#include <QString>

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif

namespace korvel {

// Empty where no virtual adapter can run.
inline QString virtualAdapterLinkPath() {
#if defined(__unix__) || defined(__APPLE__)
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir())
        return runtime + QStringLiteral("/korvel-sim");
    // In the shared temporary folder the name carries the user's number, so users never meet each other's.
    return QDir::tempPath() + QStringLiteral("/korvel-sim-%1").arg(::getuid());
#else
    return {};
#endif
}

} // namespace korvel
