// The show as a screen-saver daemon's display hack (xscreensaver and the lockers that reuse its
// hacks): the configured folder's movies, in the same order, fit rule and pause as the show,
// played into a window the daemon owns. The daemon owns input and the pointer and runs one hack
// per screen, so there is no input, no pointer hiding and no single-instance lock; it stops a
// hack with SIGTERM.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace lumarel::saver {

struct HackOptions {
    std::string window;                 // an X window id, or "root"
    std::optional<std::string> folder;  // --folder: instead of the stored folder, for this run
    std::optional<bool> fit;            // --fit / --no-fit: instead of the stored choice
    bool fps = false;                   // -fps: each frame's drawing time on stderr
};

// The hack's options when the arguments (without the program name) or XSCREENSAVER_WINDOW ask
// for one: -root, -window-id ID, or the variable set. -window-id names the window; else the
// variable does, and -root alone means the root window. Null otherwise, and on a bad argument
// (`error` then says which).
std::optional<HackOptions> ParseHackArguments(const std::vector<std::string>& args, const char* screensaverWindow,
                                              std::string& error);

// Plays until stopped or until the window goes; the process's exit status.
int RunHack(const HackOptions& options);

}  // namespace lumarel::saver
