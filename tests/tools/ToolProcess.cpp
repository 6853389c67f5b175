#include "ToolProcess.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

// A temporary file, removed at scope end.
class TempFile {
public:
    TempFile() {
        char name[] = "/tmp/obz-tool-XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0) throw std::runtime_error("mkstemp failed");
        close(fd);
        path_ = name;
    }
    ~TempFile() { std::remove(path_.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& Path() const { return path_; }
    std::string Read() const {
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string path_;
};

}  // namespace

ToolProcess::Result ToolProcess::Run(const std::string& command, const std::string& input) {
    const TempFile in;
    const TempFile err;
    std::ofstream(in.Path(), std::ios::binary) << input;
    Result result;
    FILE* pipe = popen((command + " <" + in.Path() + " 2>" + err.Path()).c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[512];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.out.append(buffer, n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = err.Read();
    return result;
}
