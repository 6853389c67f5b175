#include "EventPrinter.h"

#include <iostream>

std::string EventPrinter::LastLog() const {
    const std::lock_guard<std::mutex> guard(lock_);
    return lastLog_;
}

unsigned EventPrinter::LogCount() const {
    const std::lock_guard<std::mutex> guard(lock_);
    return logCount_;
}

void EventPrinter::OnWriteLog(const std::string& text) {
    const std::lock_guard<std::mutex> guard(lock_);
    lastLog_ = text;
    ++logCount_;
    std::cout << "    event OnWriteLog: " << Indented(text, "        ") << std::endl;
}

void EventPrinter::OnCommandMsg(LONG type, LONG code, const std::string& text) {
    const std::lock_guard<std::mutex> guard(lock_);
    std::cout << "    event OnCommandMsg: type=" << type << " code=" << code << " text=" << text << std::endl;
}
