#include "CrashRecorder.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace {
constexpr int64_t kSector = 512;

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Grows content to size with garbage, as a disk may leave space that a lost
// write would have filled.
void GrowWithGarbage(std::string& content, size_t size, std::mt19937_64& random) {
    if (content.size() < size) content.resize(size, static_cast<char>(random() | 1));
}

void Put(std::string& content, int64_t offset, const char* data, size_t amount, std::mt19937_64& random) {
    const size_t at = static_cast<size_t>(offset);
    GrowWithGarbage(content, at, random);
    if (content.size() < at + amount) content.resize(at + amount);
    std::copy(data, data + amount, content.begin() + static_cast<std::ptrdiff_t>(at));
}
}  // namespace

// The disk as the events up to some moment left it: per node the content as
// of its last sync and the events since; the names now and the names that a
// sync of the folder has made durable.
class CrashRecorder::Disk {
public:
    explicit Disk(const CrashRecorder& recorder)
        : recorder_(recorder), nodes_(static_cast<size_t>(recorder.nodes_)), names_(recorder.initialNames_),
          durable_(recorder.initialNames_) {
        for (size_t i = 0; i < recorder.initial_.size(); ++i) nodes_[i].synced = recorder.initial_[i];
    }

    void Apply(size_t index) {
        const Event& event = recorder_.events_[index];
        switch (event.kind) {
            case Event::Kind::Create:
                names_[event.name] = event.node;
                break;
            case Event::Kind::Write:
            case Event::Kind::Truncate:
                nodes_[static_cast<size_t>(event.node)].pending.push_back(index);
                break;
            case Event::Kind::Sync: {
                Node& node = nodes_[static_cast<size_t>(event.node)];
                std::mt19937_64 unused;
                for (size_t pending : node.pending) ApplyWhole(node.synced, recorder_.events_[pending], unused);
                node.pending.clear();
                break;
            }
            case Event::Kind::Delete:
                names_.erase(event.name);
                break;
            case Event::Kind::FolderSync:
                durable_ = names_;
                break;
            case Event::Kind::Answer:
                step_ = static_cast<int>(event.offset);
                break;
        }
    }

    void WriteImage(Model model, std::mt19937_64& random, const fs::path& folder) const {
        fs::remove_all(folder);
        fs::create_directories(folder);
        for (const auto& [name, index] : model == Model::Strict ? durable_ : names_) {
            const Node& node = nodes_[static_cast<size_t>(index)];
            std::string content = node.synced;
            for (size_t pending : node.pending) {
                const Event& event = recorder_.events_[pending];
                const uint64_t choice = random() % 3;
                if (choice == 0) continue;  // lost
                if (choice == 1 || event.kind != Event::Kind::Write) {
                    ApplyWhole(content, event, random);
                    continue;
                }
                // Torn: each sector the write touches survives or not.
                const int64_t end = event.offset + static_cast<int64_t>(event.data.size());
                for (int64_t sector = event.offset / kSector * kSector; sector < end; sector += kSector) {
                    if (random() % 2 == 0) continue;
                    const int64_t from = std::max(sector, event.offset), to = std::min(sector + kSector, end);
                    Put(content, from, event.data.data() + (from - event.offset), static_cast<size_t>(to - from),
                        random);
                }
            }
            std::ofstream(folder / name, std::ios::binary).write(content.data(),
                                                                 static_cast<std::streamsize>(content.size()));
        }
    }

    int Step() const { return step_; }

private:
    struct Node {
        std::string synced;
        std::vector<size_t> pending;
    };

    static void ApplyWhole(std::string& content, const Event& event, std::mt19937_64& random) {
        if (event.kind == Event::Kind::Truncate) {
            content.resize(static_cast<size_t>(event.offset));
            return;
        }
        Put(content, event.offset, event.data.data(), event.data.size(), random);
    }

    const CrashRecorder& recorder_;
    std::vector<Node> nodes_;
    std::map<std::string, int> names_;
    std::map<std::string, int> durable_;
    int step_ = 0;
};

CrashRecorder::CrashRecorder(const fs::path& folder) : folder_(folder) {
    for (const fs::directory_entry& entry : fs::directory_iterator(folder_)) {
        if (!entry.is_regular_file()) continue;
        initialNames_[entry.path().filename().string()] = nodes_++;
        initial_.push_back(ReadAll(entry.path()));
    }
    names_ = initialNames_;
}

bool CrashRecorder::InFolder(const fs::path& file) const {
    // SQLite names files in its own form (on Windows a drive path, however
    // the folder was given): the file system tells whether it is the folder.
    std::error_code error;
    return fs::equivalent(file.parent_path(), folder_, error);
}

std::string CrashRecorder::NameInFolder(const char* path) const {
    if (path == nullptr) return std::string();
    const fs::path file = fs::path(path).lexically_normal();
    return InFolder(file) ? file.filename().string() : std::string();
}

int CrashRecorder::Opened(const char* path) {
    const std::string name = NameInFolder(path);
    if (name.empty()) return -1;
    if (const auto known = names_.find(name); known != names_.end()) return known->second;
    // Not there before: the open created it.
    const int node = nodes_++;
    names_[name] = node;
    events_.push_back({Event::Kind::Create, node, name, 0, {}});
    return node;
}

void CrashRecorder::Wrote(int node, const void* data, int amount, int64_t offset) {
    if (node < 0) return;
    events_.push_back({Event::Kind::Write, node, {}, offset,
                       std::string(static_cast<const char*>(data), static_cast<size_t>(amount))});
}

void CrashRecorder::Truncated(int node, int64_t size) {
    if (node >= 0) events_.push_back({Event::Kind::Truncate, node, {}, size, {}});
}

void CrashRecorder::Synced(int node) {
    if (node >= 0) events_.push_back({Event::Kind::Sync, node, {}, 0, {}});
}

void CrashRecorder::Deleted(const char* path) {
    const std::string name = NameInFolder(path);
    if (name.empty() || names_.erase(name) == 0) return;
    events_.push_back({Event::Kind::Delete, -1, name, 0, {}});
}

void CrashRecorder::FolderSynced(const char* pathInFolder) {
    if (InFolder(fs::path(pathInFolder).lexically_normal())) events_.push_back({Event::Kind::FolderSync, -1, {}, 0, {}});
}

void CrashRecorder::Answered(int step) { events_.push_back({Event::Kind::Answer, -1, {}, step, {}}); }

void CrashRecorder::Cut(Model model, const Plan& plan, const fs::path& scratch,
                        const std::function<void(const fs::path&, int)>& check) const {
    std::mt19937_64 random(plan.seed);
    // A cut at n leaves the disk as events 0 .. n-1 left it.
    std::vector<size_t> cuts;
    for (size_t i = 0; i < plan.random; ++i) cuts.push_back(static_cast<size_t>(random() % (events_.size() + 1)));
    for (size_t i = 0; i < events_.size(); ++i)
        if (events_[i].kind == Event::Kind::Answer) cuts.insert(cuts.end(), plan.perAnswer, i + 1);
    std::sort(cuts.begin(), cuts.end());
    Disk disk(*this);
    size_t applied = 0;
    for (size_t cut : cuts) {
        for (; applied < cut; ++applied) disk.Apply(applied);
        disk.WriteImage(model, random, scratch);
        check(scratch, disk.Step());
    }
}
