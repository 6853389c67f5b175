// Where the facade's routines send their log lines. The facade implements it
// by prefixing the text and firing OnWriteLog to every subscribed sink.
// Thread-safety: that of the implementer.
#pragma once

#include "com/Platform.h"

class LogSink {
public:
    // Sends one log line; must not throw.
    virtual void WriteLog(const WString& text) noexcept = 0;

protected:
    ~LogSink() = default;
};
