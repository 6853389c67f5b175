// A fresh folder of obz-import's own under the system's temporary folder
// ($TMPDIR, else /tmp), removed with everything in it when the object goes.
// It holds the import file that obz-import writes and the folders Data/API,
// the data folder of a "*" path's install folder (see DatabaseTarget).
// Linux-only (mkdtemp), as the tools are.
// Thread-safety: an instance is not shared. Never throws.
#pragma once

#include <string>

class StagingFolder {
public:
    StagingFolder() noexcept;
    ~StagingFolder();
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    // False when the folder could not be made; Problem() says why.
    bool Made() const noexcept { return !path_.empty(); }
    const std::string& Problem() const noexcept { return problem_; }
    // The folder's full host path, without symbolic links and without a
    // trailing "/".
    const std::string& Path() const noexcept { return path_; }

private:
    std::string path_;
    std::string problem_;
};
