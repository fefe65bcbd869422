// The exported entry point: finds or makes a widget application, then runs the dialog modally.
#include "wexdial.h"

#include "displayProbe.h"
#include "setupDialog.h"

#include <QApplication>
#include <QCursor>
#include <QPointer>
#include <QScreen>
#include <QThread>
#include <QWindow>

#include <atomic>
#include <clocale>
#include <memory>
#include <string>

namespace {

// Qt knows no geometry of some foreign windows (X11), so it would put the dialog in the screen's corner;
// the screen under the mouse is most likely the one showing the owner.
void centerOnScreenUnderCursor(QWidget& dialog) {
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    if (!screen) {
        return;
    }
    dialog.adjustSize();
    QRect frame = dialog.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    dialog.move(frame.topLeft());
}

int32_t runDialog(void* ownerWindow, SetupRecord& record) {
    const auto ownerId = reinterpret_cast<WId>(ownerWindow);
    QWidget* ownerWidget = ownerWindow ? QWidget::find(ownerId) : nullptr;
    // A window of another toolkit or process; deleted only after the dialog that it owns.
    std::unique_ptr<QWindow> foreignOwner;
    QPointer<SetupDialog> dialog = new SetupDialog(record, ownerWidget ? ownerWidget->window() : nullptr);
    if (ownerWindow && !ownerWidget) {
        foreignOwner.reset(QWindow::fromWinId(ownerId));
        if (foreignOwner) {
            dialog->winId();
            dialog->windowHandle()->setTransientParent(foreignOwner.get());
            if (foreignOwner->geometry().isEmpty()) {
                centerOnScreenUnderCursor(*dialog);
            }
        }
    }
    dialog->exec();
    // The owner may have deleted it, together with itself, while the dialog ran.
    delete dialog.data();
    return 1;
}

// A host without Qt gets an application for the length of the call. Qt sets the process locale from the
// environment when it starts; the host's locale is put back afterwards.
int32_t runWithOwnApplication(void* ownerWindow, SetupRecord& record) {
    static std::atomic<bool> running{false};
    if (running.exchange(true)) {
        return 0;
    }
    const char* locale = std::setlocale(LC_ALL, nullptr);
    const std::string hostLocale = locale ? locale : "C";
    int32_t result = 0;
    {
        static int argc = 1;
        static char name[] = "wexdial";
        static char* argv[] = {name, nullptr};
        QApplication application(argc, argv);
        result = runDialog(ownerWindow, record);
    }
    std::setlocale(LC_ALL, hostLocale.c_str());
    running = false;
    return result;
}

} // namespace

extern "C" WEXDIAL_API int32_t ShowCanSetup(void* ownerWindow, SetupRecord* record) {
    if (!record) {
        return 0;
    }
    try {
        QCoreApplication* existing = QCoreApplication::instance();
        if (!existing) {
            return displayAvailable() ? runWithOwnApplication(ownerWindow, *record) : 0;
        }
        // Widgets need a QApplication, used from the thread that owns it.
        if (!qobject_cast<QApplication*>(existing) || QThread::currentThread() != existing->thread()) {
            return 0;
        }
        return runDialog(ownerWindow, *record);
    } catch (...) {
        // Nothing may unwind into a C caller.
        return 0;
    }
}
