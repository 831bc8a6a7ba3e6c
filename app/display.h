#pragma once

// Before the application object exists: where the platform would need a display server and none
// is named (no DISPLAY or WAYLAND_DISPLAY, no -platform option, no QT_QPA_PLATFORM), selects the
// offscreen platform so that a hidden instance runs as a service with nothing to set. Returns
// true when it did; a window that must be seen then has nowhere to go.
bool selectHeadlessPlatformIfNoDisplay(int argc, char **argv);
