#include "receive/commentFile.h"

#include "core/textFile.h"

#include <QFileInfo>

namespace korvel {

bool loadCommentListFile(const std::string& path, std::string& listText) {
    // Devices and pipes report no size and may never end, so only regular files are read.
    const QFileInfo info(QString::fromStdString(path));
    if (!info.isFile() || static_cast<std::uintmax_t>(info.size()) > kMaxCommentFileBytes)
        return false;
    std::string text;
    // A file that grew after the size check is refused too (Latin-1 at most doubles in UTF-8).
    if (!readTextFile(path, text) || text.size() > 2 * kMaxCommentFileBytes)
        return false;
    listText = std::move(text);
    return true;
}

bool saveCommentListFile(const std::string& path, std::string_view listText) {
    return writeTextFileAtomically(path, listText);
}

} // namespace korvel
