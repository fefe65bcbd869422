#include "transmit/txCopySource.h"

#include "core/numberText.h"

#include <vector>

namespace korvel {

std::optional<TxCopySource> copySourceFromTracerLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);

    std::string squeezed;
    squeezed.reserve(line.size());
    for (std::size_t i = 0; i < line.size();) {
        if (line.substr(i, 5) == "     ") {
            i += 5;
            continue;
        }
        squeezed.push_back(line[i++]);
    }
    std::vector<std::string_view> tokens;
    const std::string_view text = squeezed;
    for (std::size_t start = 0;;) {
        const std::size_t blank = text.find(' ', start);
        tokens.push_back(
            text.substr(start, blank == std::string_view::npos ? std::string_view::npos : blank - start));
        if (blank == std::string_view::npos)
            break;
        start = blank + 1;
    }
    if (tokens.size() < 2 || squeezed.empty())
        return std::nullopt;

    TxCopySource source;
    source.id = std::string(tokens[1]);
    const std::string_view dlcToken = tokens.size() > 2 ? tokens[2] : std::string_view();
    source.dlc = std::string(dlcToken);
    std::size_t next = 3;
    const double length = readNumber(dlcToken);
    if (length > 0) {
        const std::size_t count = static_cast<std::size_t>(roundHalfEven(length));
        for (std::size_t taken = 0; taken < count && next < tokens.size(); ++taken, ++next) {
            // A remote frame shows "RTR" where the data would be, whatever its DLC.
            if (tokens[next] == "RTR")
                break;
            if (taken > 0)
                source.data.push_back(' ');
            source.data.append(tokens[next]);
        }
    }
    bool commentStarted = false;
    for (; next < tokens.size(); ++next) {
        const std::string_view token = tokens[next];
        if (token.empty())
            continue;
        if (token == "RTR") {
            source.data = "RTR";
            continue;
        }
        if (!commentStarted && dlcToken.size() > 1)
            source.dlc = "0";
        commentStarted = true;
        source.comment.append(token);
        source.comment.push_back(' ');
    }
    source.period = "0";
    return source;
}

} // namespace korvel
