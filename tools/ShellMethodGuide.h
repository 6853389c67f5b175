// What each method of the component's three classes takes and answers, in a
// user's words: the syntax of every argument (lists, separators, markers),
// what the answer means, and one example line. It is the one table behind
// the shell's `help METHOD` and the "Arguments at a glance" section of
// docs/api.md, which a test keeps equal to the help it gives.
// The argument names are those of the classes' dispatch tables, in order;
// a test holds them to it.
// Thread-safety: constant data.
#pragma once

#include <span>
#include <string_view>

struct ShellMethodGuide {
    struct Argument {
        const char* name;
        const char* syntax;
    };
    static constexpr size_t kMaxArguments = 5;

    const char* method;
    const char* summary;                      // what the call does
    Argument arguments[kMaxArguments];        // in order; unused slots have no name
    const char* answers;                      // what the answer means
    bool zeroFails;                           // a numeric answer of 0 is a failure
    const char* example;                      // one shell line

    size_t ArgumentCount() const noexcept;

    // Every method's guide, database object first, then RecordSet, then
    // RecordItem, each in dispatch order.
    static std::span<const ShellMethodGuide> All() noexcept;
    // The guide of the method named `method`, compared without case as
    // late binding compares names; null when there is none.
    static const ShellMethodGuide* Find(std::string_view method) noexcept;
};
