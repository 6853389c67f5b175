// The prefix folder of the runtime: it holds the registry hives (system.reg,
// user.reg), the drive links (dosdevices/<letter>:) and the default C: drive
// (drive_c/), laid out as a Wine prefix.
// Thread-safety: stateless; the environment is read on every call so that a
// process (or a test) can switch prefixes. Failure: creation is best effort;
// an unusable prefix shows up later as failing file or registry operations.
#pragma once

#include <string>

class Prefix {
public:
    // The absolute prefix folder without a trailing '/': $COMRT_PREFIX, else
    // $XDG_DATA_HOME/comrt, else $HOME/.local/share/comrt. Creates the folder,
    // drive_c/ and the dosdevices/c: link when they are missing.
    static std::string Path();

private:
    static std::string Locate();
    static void EnsureLayout(const std::string& prefix);
};
