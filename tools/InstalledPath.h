// Where a file of the install is, as the tools' help names it: seen from the
// running program, so that the path is right wherever the install was put or
// moved, or, when nothing is there (a program run from the build tree, and
// the man page made from it), where the build installs it.
// Thread-safety: stateless.
#pragma once

#include <string>

class InstalledPath {
public:
    // `fromProgram`: the path relative to the program's own folder;
    // `configured`: the full path the build installs it at. Answers the first
    // when it exists, normalised, otherwise the second.
    static std::string Find(const std::string& fromProgram, const std::string& configured);
};
