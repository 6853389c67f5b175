// What a disk would hold of the files of one folder if the power failed at
// any moment of a run. The test VFS reports every open, write, truncation,
// sync and deletion of a file in the folder, and every sync of the folder
// itself; the recorder keeps them and afterwards makes disk images of power
// cuts at moments of the run:
//  - a file's content survives as of its last sync, and each write or
//    truncation since then survives whole, not at all, or (a write) torn:
//    a random part of its 512-byte sectors, the rest of the file as before;
//    space a surviving write adds past the end holds garbage elsewhere;
//  - a file's name (its creation, its deletion) survives only once the
//    folder has been synced after it (Model::Strict), or at once
//    (Model::Eager). A deleted file whose deletion did not survive comes
//    back with the content it had.
// The choices are drawn from a seed, so a run of images is repeatable.
// Ownership: keeps a copy of every byte written to the folder while it
// records. Thread-safety: none; one thread at a time records, then makes
// images.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

class CrashRecorder {
public:
    enum class Model { Strict, Eager };

    // Records from the files that folder holds now, taken as on disk.
    explicit CrashRecorder(const std::filesystem::path& folder);

    // Seen by the VFS. Opened answers the file's node, which its writes,
    // truncations and syncs name, or -1 for a file outside the folder (or
    // one without a name), whose events are not kept.
    int Opened(const char* path);
    void Wrote(int node, const void* data, int amount, int64_t offset);
    void Truncated(int node, int64_t size);
    void Synced(int node);
    void Deleted(const char* path);
    // pathInFolder: a path whose folder was synced.
    void FolderSynced(const char* pathInFolder);

    // The client has been answered for step (1, 2, ...): a cut from here on
    // comes after that answer.
    void Answered(int step);

    // Where the power is cut and how often.
    struct Plan {
        uint64_t seed = 1;
        size_t random = 0;     // cuts at events drawn at random
        size_t perAnswer = 0;  // cuts right after each answer
    };
    // For each cut of the plan under model, writes the image into a cleared
    // folder scratch (the files under their own names) and calls
    // check(scratch, step), step being the last answer before the cut (0
    // when none came). The cuts go in the order of the run.
    void Cut(Model model, const Plan& plan, const std::filesystem::path& scratch,
             const std::function<void(const std::filesystem::path&, int)>& check) const;

    size_t Events() const { return events_.size(); }
    size_t FolderSyncs() const {
        return static_cast<size_t>(std::count_if(events_.begin(), events_.end(), [](const Event& event) {
            return event.kind == Event::Kind::FolderSync;
        }));
    }

private:
    struct Event {
        enum class Kind { Create, Write, Truncate, Sync, Delete, FolderSync, Answer } kind;
        int node = -1;     // Create, Write, Truncate, Sync
        std::string name;  // Create, Delete
        int64_t offset = 0;  // Write: where; Truncate: the new size; Answer: the step
        std::string data;  // Write
    };
    class Disk;

    // Whether file lies in the folder.
    bool InFolder(const std::filesystem::path& file) const;
    // The file's name in the folder, or empty when path lies elsewhere.
    std::string NameInFolder(const char* path) const;

    std::filesystem::path folder_;
    // The contents the recording started from, one node each.
    std::vector<std::string> initial_;
    std::map<std::string, int> initialNames_;
    // The names as the run leaves them, for the nodes that Opened gives.
    std::map<std::string, int> names_;
    int nodes_ = 0;
    std::vector<Event> events_;
};
