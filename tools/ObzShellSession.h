// The objects of one obzshell run and the calls made on them.
//
// Start creates the database object ("Ombrel.ZeveVevuVAD"), keeps it as the
// variable db and subscribes an ObzShellSink to its events. Run carries out
// one command (see ShellCommand): it creates objects by ProgID (or by a CLSID
// in braces), calls methods late-bound through IDispatch by name
// (GetIDsOfNames, then Invoke with DISPATCH_METHOD | DISPATCH_PROPERTYGET),
// passing text arguments as VT_BSTR, which the object converts to each
// parameter's type, and $NAME arguments as VT_DISPATCH. It writes one line
// per command:
//   => 1 | => true | => "text" | => S_OK | => S_FALSE     the outcome
//   => 0 (S_FALSE)                                        a result with S_FALSE
// to `out`, or to `err` when the command failed:
//   => error 0x80020006 DISP_E_UNKNOWNNAME: ...           a failed call
//   => error: no object named rs                          any other failure
// An unknown method gets the nearest name ("did you mean BeginTransation?"),
// a wrong number of arguments the method's usage line.
// `select` and `tables` print their rows as a table (see ShellTable), read
// through a RecordSet and a RecordItem of their own.
// `help` writes the shell's help (see ShellHelp) to `out`. It remembers the
// outcome's text (1, true, text, S_OK, or the HRESULT in hex) for `expect`.
// Events are written by the sink as they arrive, before the outcome line of
// the call that caused them.
// A call that answers a failure (0 where the method answers 1 or 0, false,
// or S_FALSE) leaves that failure pending: an `expect` on the next command
// line settles it by its own check, and ReportFailure makes it a failed
// line otherwise.
// Needs an initialised COM runtime for its whole lifetime.
// Thread-safety: one thread.
#pragma once

#include <map>
#include <ostream>
#include <string>

#include "obzkit/Ref.h"
#include "ObzShellSink.h"
#include "ShellCommand.h"
#include "ShellCompletion.h"

class ObzShellSession {
public:
    ObzShellSession(std::ostream& out, std::ostream& err) noexcept : out_(out), err_(err) {}
    ObzShellSession(const ObzShellSession&) = delete;
    ObzShellSession& operator=(const ObzShellSession&) = delete;
    ~ObzShellSession();

    // False, with the reason written, when the database object cannot be
    // created or subscribed to.
    bool Start();
    // False when the command failed: a malformed line, an unknown variable,
    // a failed HRESULT or an expectation not met.
    bool Run(const ShellCommand& command);
    bool QuitRequested() const noexcept { return quit_; }
    // The variables with their classes, for completion.
    ShellCompletion::Variables Variables() const;
    // True while the last call's failure answer waits for an `expect`.
    bool FailurePending() const noexcept { return !pending_.empty(); }
    // Writes the pending failure as a failed line ("InsertDBRecord answered
    // 0", and with `expectable` ", and no expect 0 follows") and clears it.
    void ReportFailure(bool expectable);

private:
    bool Create(const std::string& variable, const std::string& progId);
    bool Call(const ShellCommand& command);
    // Runs GetDBRecordSet with the arguments and prints the rows as a
    // ShellTable, each row a noun ("row", "table"); the outcome for expect
    // is the row count, or false (a pending failure) when the query fails.
    bool Query(const std::string& table, const std::string& conditionCol, const std::string& conditionVal,
               const char* noun);
    bool Expect(const std::string& expected);
    bool Help(const std::string& method);
    bool Fail(const std::string& reason);
    bool Failed(HRESULT hr, const std::string& what);

    std::ostream& out_;
    std::ostream& err_;
    std::map<std::string, obzkit::Ref<IDispatch>> objects_;
    ShellCompletion::Variables classes_;  // the ProgID of each variable's class, empty when unknown
    obzkit::Ref<IConnectionPoint> events_;
    obzkit::Ref<IRecordSet> rows_;   // the objects of select and tables, made at the first
    obzkit::Ref<IRecordItem> item_;
    DWORD cookie_ = 0;
    std::string lastOutcome_;
    std::string pending_;  // "Method answered 0" while a failure answer is pending
    bool quit_ = false;
};
