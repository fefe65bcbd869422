#include "link/replyCollector.h"

namespace korvel {

bool isFrameLineStart(std::string_view text) {
    if (text.empty())
        return false;
    const char c = text.front();
    return c == 't' || c == 'T' || c == 'r' || c == 'R';
}

void ReplyCollector::begin(std::string& forReceive) {
    buffer_.clear();
    reply_.clear();
    complete_ = false;
    const auto lastEnd = forReceive.find_last_of("\r\a");
    const std::size_t tail = lastEnd == std::string::npos ? 0 : lastEnd + 1;
    buffer_.assign(forReceive, tail);
    forReceive.resize(tail);
}

bool ReplyCollector::add(std::string_view bytes, std::string& forReceive) {
    if (complete_) {
        forReceive.append(bytes);
        return true;
    }
    buffer_.append(bytes);
    std::size_t start = 0;
    for (;;) {
        const auto end = buffer_.find_first_of("\r\a", start);
        if (end == std::string::npos)
            break;
        const std::string_view line = std::string_view(buffer_).substr(start, end - start);
        if (isFrameLineStart(line)) {
            forReceive.append(buffer_, start, end + 1 - start);
            start = end + 1;
            continue;
        }
        reply_.assign(buffer_, start, end + 1 - start);
        forReceive.append(buffer_, end + 1);
        buffer_.clear();
        complete_ = true;
        return true;
    }
    buffer_.erase(0, start);
    if (buffer_.size() > kMaxReply) {
        reply_.swap(buffer_);
        buffer_.clear();
        complete_ = true;
    }
    return complete_;
}

std::string ReplyCollector::finish(std::string& forReceive) {
    if (!complete_) {
        if (isFrameLineStart(buffer_))
            forReceive.append(buffer_);
        else
            reply_.swap(buffer_);
    }
    buffer_.clear();
    complete_ = false;
    std::string reply;
    reply.swap(reply_);
    return reply;
}

} // namespace korvel
