#include "settings/settingsLocation.h"

#include "core/basGlobal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace korvel {

std::string settingsFilePath() {
    const QString name = QString::fromLatin1(kIniFileName);
    const QString programDir = QCoreApplication::applicationDirPath();
    const QFileInfo beside(QDir(programDir).filePath(name));
    if (beside.exists() || QFileInfo(programDir).isWritable())
        return beside.absoluteFilePath().toStdString();

    const QString configDir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(configDir);
    return QDir(configDir).filePath(name).toStdString();
}

} // namespace korvel
