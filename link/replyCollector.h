#pragma once

// What arrives while a command waits for its reply. Once the channel is open the adapter sends frames at
// any time, also between a command and its reply: frame lines belong to the receive path and are set aside
// for the next poll, never taken as the reply and never thrown away. The first other line is the reply; it
// ends at a CR, or at a BELL, which is a whole (error) reply by itself.

#include <cstddef>
#include <string>
#include <string_view>

namespace korvel {

// True for text that begins like a frame line ("t", "T", "r", "R").
[[nodiscard]] bool isFrameLineStart(std::string_view text);

class ReplyCollector {
public:
    // A peer that never ends a line must not grow the wait's buffer without bound.
    static constexpr std::size_t kMaxReply = 4096;

    // Starts a wait. `forReceive` holds text already set aside for the receive path; its unfinished last
    // line continues in what arrives next, so it is taken back until that line ends.
    void begin(std::string& forReceive);
    // Adds received bytes; true once the reply is complete. Completed frame lines, and everything after
    // the reply, go to `forReceive`.
    bool add(std::string_view bytes, std::string& forReceive);
    // Ends the wait and returns the reply with its CR or BELL, or, when the wait ran out, what came of it.
    // An unfinished frame line goes back to `forReceive`.
    std::string finish(std::string& forReceive);

private:
    std::string buffer_;
    std::string reply_;
    bool complete_ = false;
};

} // namespace korvel
