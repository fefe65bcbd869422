#include "app/frMain.h"
#include "app/qtPrompts.h"
#include "core/fileSizeSignal.h"
#include "core/prompts.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    korvel::letOversizedWritesFail();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvel"));
    QApplication::setOrganizationName(QStringLiteral("Korvel"));
    QApplication::setDesktopFileName(QStringLiteral("korvel"));
    korvel::setPrompts(std::make_unique<korvel::QtPrompts>());

    korvel::frMain window;
    window.load();
    // A transmit list named on the command line is loaded, as a document opened with the program.
    if (const QStringList arguments = QApplication::arguments(); arguments.size() > 1)
        window.openTxList(arguments.at(1).toStdString());
    window.show();
    return QApplication::exec();
}
