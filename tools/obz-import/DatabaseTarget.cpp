#include "DatabaseTarget.h"

#include <OBZeveVevuVAD.h>

#include <filesystem>
#include <system_error>
#include <vector>

#include "obzkit/Utf8.h"

namespace fs = std::filesystem;

namespace {
const std::string kExtension = ".db";

// The host path that the runtime opens for a path a client names.
bool HostPath(const std::string& path, std::string& host) {
    const obzkit::OleString wide = obzkit::ToOle(path);
    std::vector<char> buffer(4096);
    if (!ComrtMapPathW(reinterpret_cast<LPCWSTR>(wide.c_str()), buffer.data(), static_cast<DWORD>(buffer.size())))
        return false;
    host = buffer.data();
    return true;
}
}  // namespace

bool DatabaseTarget::Resolve(const std::string& database, const std::string& stagingFolder, DatabaseTarget& target,
                             std::string& problem) {
    target = DatabaseTarget();
    if (database.empty() || database == "*") {
        problem = "DATABASE is empty";
        return false;
    }
    if (database[0] != '*') {
        target.fileName = database;
        target.shown = database + kExtension + " in the data folder";
        return true;
    }
    const std::string path = database.substr(1);
    if (path.size() <= kExtension.size() || path.compare(path.size() - kExtension.size(), kExtension.size(),
                                                          kExtension) != 0) {
        problem = "the file " + path + " does not end in " + kExtension +
                  ", which the component adds to the file names it imports into";
        return false;
    }
    std::string host;
    if (!HostPath(path, host)) {
        problem = "the file " + path + " is on a drive the runtime does not know";
        return false;
    }
    std::error_code error;
    const fs::path absolute = fs::absolute(host, error);
    const fs::path folder = error ? fs::path() : fs::canonical(absolute.parent_path(), error);
    if (error || !fs::is_directory(folder, error)) {
        problem = "the folder of " + path + " does not exist";
        return false;
    }
    // From <staging>/Data/API up to the root: one level for each part of the
    // staging folder's path, and two for Data/API.
    std::string name;
    const fs::path staging(stagingFolder);
    for (auto part = staging.begin(); part != staging.end(); ++part)
        if (!part->empty() && *part != staging.root_path()) name += "..\\";
    name += "..\\..";
    const std::string file = absolute.filename().string();
    name += (folder / file.substr(0, file.size() - kExtension.size())).string();
    target.hostAddress = stagingFolder + "/";
    target.fileName = name;
    target.shown = (folder / file).string();
    return true;
}
