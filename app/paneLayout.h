#pragma once

// The rules that place the receive pane above the transmit pane. All lengths are twips; the window
// converts them with the screen's resolution.

#include <optional>
#include <span>

namespace korvel {

inline constexpr int kListMarginTwips = 800;    // the header strip above each list
inline constexpr int kMinPaneExtentTwips = 800; // a drag may not make a pane smaller
inline constexpr int kSpareColumnTwips = 400;   // room the last list column leaves free
// What a small window still gives the receive pane before the transmit pane yields: its header strip and
// a few rows.
inline constexpr int kMinReceivePaneTwips = 2 * kListMarginTwips;

struct PaneHeights {
    bool receiveShown = true;
    bool transmitShown = true;
    int receive = 0;
    int transmit = 0;
};

// The least height a drag leaves the transmit pane: its header strip above the list, and the editor at its
// own height.
[[nodiscard]] constexpr int minTransmitPaneTwips(int editorHeight) {
    return kMinPaneExtentTwips + editorHeight;
}

// Either pane alone fills the free height; otherwise the transmit pane keeps the split, but never less than
// a drag may leave it, and every change of the free height goes to the receive pane, down to the receive
// pane's minimum. The split itself is kept, so the transmit pane is back to it when the window grows again.
[[nodiscard]] PaneHeights paneHeights(int freeHeight, int splitPosition, int editorHeight, bool receiveFull,
                                      bool transmitFull);

// Whether dragging the border so that the receive pane is `receiveHeight` high is taken: never while a
// pane is full, and only when 800 < height < free height - 800 - the editor's height. The editor's height
// is its own, not what the pane has left it, so the limit holds for a drag in any number of steps.
[[nodiscard]] bool splitDragAllowed(int receiveHeight, int freeHeight, int editorHeight, bool receiveFull,
                                    bool transmitFull);

// The last column's width: the list's width less the other columns and the spare; nothing when that
// leaves no room, and the column keeps its width.
[[nodiscard]] std::optional<int> lastColumnWidth(int listWidth, std::span<const int> otherColumns, int spare);

} // namespace korvel
