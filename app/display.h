#pragma once

class StatusBoard;
class StatusWindow;

// Before the application object exists: the event dispatcher and the display scaling this
// program wants.
void prepareApplication();

// Before the application object exists, where neither a -platform option nor QT_QPA_PLATFORM
// names the platform: with no display server named at all (no DISPLAY or WAYLAND_DISPLAY)
// selects the offscreen platform, and with an X display falls back to it when the display cannot
// be reached, so that a hidden instance runs as a service with nothing to set. Returns true when
// it made the choice; the caller then asks the application which platform it got.
bool selectPlatformWithHeadlessFallback(int argc, char **argv);

// While it lives, Qt's warning that XDG_RUNTIME_DIR is not set stays out of the log: a system
// service has no such folder, Qt falls back to a private one of its own, and the line would
// only alarm whoever reads the journal. Every other message passes as before.
class QuietRuntimeFolderWarning
{
public:
    QuietRuntimeFolderWarning();
    ~QuietRuntimeFolderWarning();
    QuietRuntimeFolderWarning(const QuietRuntimeFolderWarning &) = delete;
    QuietRuntimeFolderWarning &operator=(const QuietRuntimeFolderWarning &) = delete;
};

// After start-up: shows the window unless the run is hidden. A hidden window still gets its
// native window on Windows, which is what Windows asks to close (taskkill, log-off). False, with
// the reason on standard error, when a window should show and there is no display to show it on.
bool showUnlessHidden(StatusWindow &window, const StatusBoard &board, bool noDisplay);
