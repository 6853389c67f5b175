// The example's event sink: prints every event that the database object
// sends to it:
//   event OnWriteLog: ZeveVevuVAD64--...
//   event OnCommandMsg: type=2 code=1 text=System Connected
// It also keeps the last log text and counts the log lines, so that the
// example can check that a failure was reported.
// Reference counted (see obzkit::EventSink). Thread-safety: events may arrive
// on any thread; the record and the output are guarded.
#pragma once

#include <mutex>
#include <string>

#include "obzkit/EventSink.h"

class EventPrinter final : public obzkit::EventSink {
public:
    EventPrinter() = default;

    // The text of the last OnWriteLog event, and how many have arrived.
    std::string LastLog() const;
    unsigned LogCount() const;

private:
    ~EventPrinter() override = default;

    void OnWriteLog(const std::string& text) override;
    void OnCommandMsg(LONG type, LONG code, const std::string& text) override;

    mutable std::mutex lock_;
    std::string lastLog_;
    unsigned logCount_ = 0;
};
