#pragma once

// The one application object the widget benchmarks share, created by whichever runs first.

#include <QApplication>

inline QApplication& benchApplication() {
    static int argc = 1;
    static char name[] = "korvel_bench";
    static char* argv[] = {name, nullptr};
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return *existing;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return *new QApplication(argc, argv);
}
