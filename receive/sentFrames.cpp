#include "receive/sentFrames.h"

#include <cctype>

namespace korvel {

std::string sentFrameComment(std::string_view comment) {
    std::string text(kSentFrameMark);
    if (!comment.empty()) {
        text.push_back(' ');
        text.append(comment);
    }
    return text;
}

CanFrame sentFrameFromRow(std::string_view idText, std::string_view dlcText, std::string_view dataText) {
    CanFrame frame;
    while (!idText.empty() && idText.front() == ' ')
        idText.remove_prefix(1);
    while (!idText.empty() && idText.back() == ' ')
        idText.remove_suffix(1);
    std::string id(idText.substr(0, 8));
    for (char& c : id)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    frame.idText.assign(id);
    frame.isExtended = idText.size() > 3;
    frame.isRemote = dataText == "RTR";
    int dlc = 0;
    for (const char c : dlcText) {
        if (c >= '0' && c <= '9')
            dlc = dlc * 10 + (c - '0');
        if (dlc > 8)
            break;
    }
    frame.dlc = static_cast<uint8_t>(dlc > 8 ? 8 : dlc);
    while (!dataText.empty() && dataText.back() == ' ')
        dataText.remove_suffix(1);
    std::string data(dataText.substr(0, 23));
    for (char& c : data)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    frame.dataText.assign(data);
    return frame;
}

std::string_view tracerLineTime(std::string_view line) {
    const std::string_view time = line.substr(0, line.find(' '));
    if (time.empty() || time.size() > 11)
        return {};
    for (const char c : time)
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == ','))
            return {};
    return time;
}

} // namespace korvel
