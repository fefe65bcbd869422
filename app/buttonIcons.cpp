#include "app/buttonIcons.h"

// The icons live in a static library, whose resource initialiser the linker would otherwise drop.
static void initialiseIconResource() {
    Q_INIT_RESOURCE(icons);
}

namespace korvel {

QIcon buttonIcon(const QString& key) {
    static const bool initialised = (initialiseIconResource(), true);
    (void)initialised;
    return QIcon(QStringLiteral(":/icons/%1.svg").arg(key));
}

} // namespace korvel
