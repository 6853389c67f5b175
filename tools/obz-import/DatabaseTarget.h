// Where obz-import's rows go, for its DATABASE argument, which names a file
// as CreateDbFile does:
// - NAME: NAME.db in the data folder; CreateDbFile selects it by that name.
// - *PATH: the file PATH, which must end in ".db" and whose folder must
//   exist. ImportDbFile always writes to the data folder plus the current
//   file name, and a "*" path changes neither, so the object is first
//   connected with an install folder of obz-import's choosing, the staging
//   folder (in which Data/API exist), and the file is named relative to its
//   data folder, "<install>Data\API\": up to the root of the host's file
//   system, then down to PATH. A Windows path (X:\... in the runtime's
//   prefix) is first mapped to its host path as the runtime maps it, and a
//   relative path is taken from the working folder.
// Thread-safety: stateless. Throws only std::bad_alloc.
#pragma once

#include <string>

class DatabaseTarget {
public:
    std::string hostAddress;  // Connect's HostAddress (UTF-8); empty when no Connect is needed
    std::string fileName;     // CreateDbFile's FileName (UTF-8)
    std::string shown;           // the file, as the report names it

    // False with a reason in `problem` for a "*" path that does not end in
    // ".db" or whose folder does not exist, or an empty DATABASE.
    // stagingFolder: a full host path without symbolic links in which
    // Data/API exist.
    static bool Resolve(const std::string& database, const std::string& stagingFolder, DatabaseTarget& target,
                        std::string& problem);
};
