// The shell's event sink: subscribed to a database object's events, it
// writes each event to the output as it arrives:
//   event OnWriteLog: TEXT
//   event OnCommandMsg: TYPE CODE TEXT
// A text of several lines continues on indented lines.
// Reference counted (see obzkit::EventSink). Thread-safety: events may arrive
// on any thread; output lines are written whole.
#pragma once

#include <ostream>

#include "obzkit/EventSink.h"

class ObzShellSink final : public obzkit::EventSink {
public:
    explicit ObzShellSink(std::ostream& out) noexcept : out_(out) {}

private:
    ~ObzShellSink() override = default;

    void OnWriteLog(const std::string& text) override;
    void OnCommandMsg(LONG type, LONG code, const std::string& text) override;
    void Write(const std::string& line);

    std::ostream& out_;
};
