#pragma once

// The settings file's sections "Options" and "Position": what is read at start-up and written at shutdown.

#include "core/basGlobal.h"
#include "core/iniFile.h"

#include <QList>
#include <QRect>

#include <cstdint>

namespace korvel {

// The main window's normal-state rectangle and its state (0 normal, 1 minimised, 2 maximised), in twips.
struct WindowPlacement {
    int32_t windowState = 0;
    int32_t top = 0;
    int32_t left = 0;
    int32_t height = 0;
    int32_t width = 0;
};

struct LoadedPlacement {
    bool hasPosition = false; // "Width" above 0: all five values apply
    WindowPlacement placement;
    int32_t split = 0; // "Split" as stored; resolveSplit makes it usable
};

// Reads section "Options" into the state (with the derived filter values) and returns the stored window
// placement. Values outside their range and over-long hexadecimal texts keep their defaults.
LoadedPlacement loadSettingsFrom(const IniDocument& ini, GlobalState& state);

// The window's rectangle in pixels for a stored placement, kept within one screen's work area: the screen
// holding the stored top-left corner, else the first (primary) one. A larger size shrinks to that area
// and the window moves as far as needed to lie on it. Computed in double precision, so no stored value can
// overflow. `workAreas` must not be empty. The size never falls below `minimum`, the window's own smallest
// usable size, even when that is larger than the screen.
[[nodiscard]] QRect placementRect(const WindowPlacement& placement, double dpi, const QList<QRect>& workAreas,
                                  QSize minimum = QSize(1, 1));

// The stored split unless it is 0 or does not leave room for the receive pane; then half the free height.
[[nodiscard]] int32_t resolveSplit(int32_t storedSplit, int32_t freeHeightTwips);

// Writes every key in its fixed order.
void saveSettingsTo(IniDocument& ini, const GlobalState& state, const WindowPlacement& placement);

// The derived values of the acceptance and range filters.
void computeFilterValues(GlobalState& state);

} // namespace korvel
