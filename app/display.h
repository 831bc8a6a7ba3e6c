#pragma once

// Before the application object exists, where neither a -platform option nor QT_QPA_PLATFORM
// names the platform: with no display server named at all (no DISPLAY or WAYLAND_DISPLAY)
// selects the offscreen platform, and with an X display falls back to it when the display cannot
// be reached, so that a hidden instance runs as a service with nothing to set. Returns true when
// it made the choice; the caller then asks the application which platform it got.
bool selectPlatformWithHeadlessFallback(int argc, char **argv);
