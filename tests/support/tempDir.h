#pragma once

#include <QTemporaryDir>

#include <string>

namespace korvel::test {

// A fresh folder per test, removed afterwards.
struct TempDir {
    QTemporaryDir dir;
    [[nodiscard]] std::string file(const char* name) const {
        return dir.filePath(QString::fromLatin1(name)).toStdString();
    }
};

} // namespace korvel::test
