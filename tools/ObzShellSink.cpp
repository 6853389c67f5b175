#include "ObzShellSink.h"

#include <mutex>
#include <string>

namespace {
std::mutex outputLock;
}  // namespace

void ObzShellSink::OnWriteLog(const std::string& text) { Write("event OnWriteLog: " + Indented(text, "    ")); }

void ObzShellSink::OnCommandMsg(LONG type, LONG code, const std::string& text) {
    Write("event OnCommandMsg: " + std::to_string(type) + " " + std::to_string(code) + " " + Indented(text, "    "));
}

void ObzShellSink::Write(const std::string& line) {
    const std::lock_guard<std::mutex> lock(outputLock);
    out_ << line << std::endl;
}
