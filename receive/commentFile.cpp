#include "receive/commentFile.h"

#include "core/textFile.h"

namespace korvel {

bool loadCommentListFile(const std::string& path, std::string& listText, std::string* error) {
    std::string text;
    if (!readTextFile(path, text, kMaxCommentFileBytes, error))
        return false;
    listText = std::move(text);
    return true;
}

bool saveCommentListFile(const std::string& path, std::string_view listText, std::string* error) {
    return writeTextFileAtomically(path, listText, error);
}

} // namespace korvel
