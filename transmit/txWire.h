#pragma once

// What a transmit row puts on the wire. The row's texts come from the editor, a pasted value or a list file,
// so they are checked here: only a well-formed frame ever reaches an adapter.

#include <optional>
#include <string>
#include <string_view>

namespace korvel {

struct WireFrame {
    std::string idText;   // 3 or 8 upper-case hexadecimal digits, within the 11- or 29-bit range
    std::string dlcText;  // one digit 0 to 8
    std::string dataText; // "RTR", or the DLC's bytes as two upper-case digits joined by single blanks
};

// The frame of a row's identifier, DLC and Data columns; nothing when they do not make one: an identifier
// that is not 3 or 8 hexadecimal digits or lies beyond its range, a DLC that is not one digit 0 to 8, or a
// data byte within the DLC that is not two hexadecimal digits. Bytes beyond the DLC are not sent. When
// there is no frame, `problem` (when given) says why, in words for the user.
[[nodiscard]] std::optional<WireFrame> wireFrameFromRow(std::string_view idText, std::string_view dlcText,
                                                        std::string_view dataText,
                                                        std::string* problem = nullptr);

} // namespace korvel
