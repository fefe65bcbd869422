#include "app/frMain.h"
#include "core/prompts.h"
#include "app/qtPrompts.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvel"));
    QApplication::setOrganizationName(QStringLiteral("Korvel"));
    QApplication::setDesktopFileName(QStringLiteral("korvel"));
    korvel::setPrompts(std::make_unique<korvel::QtPrompts>());

    korvel::frMain window;
    window.load();
    window.show();
    return QApplication::exec();
}
