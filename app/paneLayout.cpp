#include "app/paneLayout.h"

#include <algorithm>
#include <numeric>

namespace korvel {

PaneHeights paneHeights(int freeHeight, int splitPosition, int editorHeight, bool receiveFull,
                        bool transmitFull) {
    const int free = std::max(freeHeight, 0);
    if (receiveFull)
        return {true, false, free, 0};
    if (transmitFull)
        return {false, true, 0, free};
    // A split stored below the drag's limit (an older version let a drag crush the editor) is shown at it.
    int transmit = std::clamp(std::max(splitPosition, minTransmitPaneTwips(editorHeight)), 0, free);
    const int minReceive = std::min(kMinReceivePaneTwips, free);
    if (free - transmit < minReceive)
        transmit = free - minReceive;
    return {true, true, free - transmit, transmit};
}

bool splitDragAllowed(int receiveHeight, int freeHeight, int editorHeight, bool receiveFull,
                      bool transmitFull) {
    if (receiveFull || transmitFull)
        return false;
    return receiveHeight > kMinPaneExtentTwips &&
           receiveHeight < freeHeight - minTransmitPaneTwips(editorHeight);
}

std::optional<int> lastColumnWidth(int listWidth, std::span<const int> otherColumns, int spare) {
    const int width = listWidth - std::accumulate(otherColumns.begin(), otherColumns.end(), 0) - spare;
    if (width <= 0)
        return std::nullopt;
    return width;
}

} // namespace korvel
