#pragma once

#include <QIcon>
#include <QString>

namespace korvel {

// A picture of the toolbar's image list (or the application icon) by its key.
[[nodiscard]] QIcon buttonIcon(const QString& key);

} // namespace korvel
