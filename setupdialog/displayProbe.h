// Whether a widget window can be shown before any Qt application exists.
#pragma once

// Qt ends the whole process when its platform plugin finds no display, and the process here is the host's.
// False only when showing would surely fail: on X11/Wayland systems no platform chosen and no display
// named, or a local X display whose server does not answer.
[[nodiscard]] bool displayAvailable();
