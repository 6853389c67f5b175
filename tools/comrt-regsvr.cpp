// comrt-regsvr: registers and unregisters in-process servers in the comrt
// prefix, as regsvr32 does on Windows. See RegsvrOptions.h for the switches.
// Exit codes as regsvr32's: 0 success, 1 bad command line, 3 library not
// loaded, 4 entry point missing, 5 entry point failed. --help and --version
// answer on standard output with 0; every error goes to standard error.
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <comrt/comrt.h>

#include "InstalledPath.h"
#include "RegsvrOptions.h"
#include "ServerLibrary.h"

namespace {
enum ExitCode { kOk = 0, kBadArguments = 1, kLoadFailed = 3, kNoEntryPoint = 4, kCallFailed = 5 };

using PlainEntry = HRESULT (*)();
using InstallEntry = HRESULT (*)(BOOL, LPCWSTR);

// Failures are written at once; what succeeded waits until the registry
// change is stored (Stored), since nothing counts as done before that.
class Reporter {
public:
    explicit Reporter(bool silent) : silent_(silent) {}
    void Out(const std::string& text) { pending_.push_back(text); }
    void Error(const std::string& text) const {
        if (!silent_) std::fprintf(stderr, "%s\n", text.c_str());
    }
    // Writes the lines held back (stored) or drops them.
    void Settle(bool stored) {
        if (stored && !silent_) {
            for (const std::string& text : pending_) std::printf("%s\n", text.c_str());
        }
        pending_.clear();
    }

private:
    bool silent_;
    std::vector<std::string> pending_;
};

std::string HexCode(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(hr));
    return text;
}

std::u16string Wide(const std::string& text) {
    if (text.empty()) return std::u16string();
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string wide(static_cast<size_t>(length), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

// A Windows path (X:...) maps through the prefix's drives; a host path is
// made absolute so that the server registers its full path.
std::string HostPath(const std::string& library) {
    if (library.size() >= 2 && std::isalpha(static_cast<unsigned char>(library[0])) && library[1] == ':') {
        char mapped[PATH_MAX];
        if (ComrtMapPathW(Wide(library).c_str(), mapped, sizeof mapped)) return mapped;
        return library;
    }
    if (char* resolved = realpath(library.c_str(), nullptr)) {
        std::string absolute(resolved);
        std::free(resolved);
        return absolute;
    }
    return library;
}

int CallPlain(const ServerLibrary& server, const std::string& library, const char* name, Reporter& report) {
    auto entry = reinterpret_cast<PlainEntry>(server.Entry(name));
    if (entry == nullptr) {
        report.Error("The module \"" + library + "\" was loaded but the entry-point " + name + " was not found.");
        return kNoEntryPoint;
    }
    const HRESULT hr = entry();
    if (FAILED(hr)) {
        report.Error(std::string(name) + " in " + library + " failed.\nReturn code was: " + HexCode(hr));
        return kCallFailed;
    }
    report.Out(std::string(name) + " in " + library + " succeeded.");
    return kOk;
}

int CallInstall(const ServerLibrary& server, const std::string& library, const RegsvrOptions& options,
                Reporter& report) {
    auto entry = reinterpret_cast<InstallEntry>(server.Entry("DllInstall"));
    if (entry == nullptr) {
        report.Error("The module \"" + library + "\" was loaded but the entry-point DllInstall was not found.");
        return kNoEntryPoint;
    }
    std::u16string commandLine;
    if (options.installCommandLine) commandLine = Wide(*options.installCommandLine);
    const HRESULT hr = entry(options.unregister ? FALSE : TRUE,
                             options.installCommandLine ? commandLine.c_str() : nullptr);
    const std::string what = std::string("DllInstall(") + (options.unregister ? "FALSE" : "TRUE") +
                             (options.installCommandLine ? ", \"" + *options.installCommandLine + "\"" : "") + ")";
    if (FAILED(hr)) {
        report.Error(what + " in " + library + " failed.\nReturn code was: " + HexCode(hr));
        return kCallFailed;
    }
    report.Out(what + " in " + library + " succeeded.");
    return kOk;
}

int Process(const std::string& library, const RegsvrOptions& options, Reporter& report) {
    ServerLibrary server;
    std::string error;
    if (!server.Open(HostPath(library), error)) {
        report.Error("The module \"" + library + "\" failed to load.\n" + error);
        return kLoadFailed;
    }
    if (!options.unregister) {
        int code = options.noRegister ? kOk : CallPlain(server, library, "DllRegisterServer", report);
        if (code == kOk && options.install) code = CallInstall(server, library, options, report);
        return code;
    }
    int code = options.install ? CallInstall(server, library, options, report) : kOk;
    if (code == kOk && !options.noRegister) code = CallPlain(server, library, "DllUnregisterServer", report);
    return code;
}
}  // namespace

int main(int argc, char** argv) {
    RegsvrOptions options;
    std::string error;
    if (!RegsvrOptions::Parse(argc, argv, options, error)) {
        if (!options.silent) {
            std::fprintf(stderr,
                         "comrt-regsvr: %s\nUsage: comrt-regsvr [/u] [/s] [/n] [/i[:cmdline]] LIBRARY...\n"
                         "Run 'comrt-regsvr /?' for the switches.\n",
                         error.c_str());
        }
        return kBadArguments;
    }
    if (options.request == RegsvrOptions::Request::Help) {
        std::fputs(RegsvrOptions::Usage(InstalledPath::Find(OBZ_MODULE_FROM_PROGRAM, OBZ_MODULE_INSTALLED)).c_str(), stdout);
        return kOk;
    }
    if (options.request == RegsvrOptions::Request::Version) {
        std::printf("comrt-regsvr (OBZeveVevuVAD) %s\n", OBZ_VERSION_TEXT);
        return kOk;
    }
    Reporter report(options.silent);
    int result = kOk;
    for (const std::string& library : options.libraries) {
        // One registry change per library: other processes see it registered
        // whole or not at all, and a failed run leaves the registry as it was.
        int code = kCallFailed;
        const LSTATUS opened = ComrtBeginRegistryChange();
        if (opened == ERROR_SUCCESS) {
            code = Process(library, options, report);
            const LSTATUS stored = ComrtEndRegistryChange(code == kOk ? TRUE : FALSE);
            if (code == kOk && stored != ERROR_SUCCESS) {
                report.Error("The registry changes for " + library + " could not be stored.\nReturn code was: " +
                             HexCode(HRESULT_FROM_WIN32(static_cast<DWORD>(stored))));
                code = kCallFailed;
            }
            report.Settle(code == kOk);
        } else {
            report.Error("The registry cannot be locked for " + library + ".\nReturn code was: " +
                         HexCode(HRESULT_FROM_WIN32(static_cast<DWORD>(opened))));
        }
        if (result == kOk) result = code;
    }
    return result;
}
