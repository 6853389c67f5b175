// Builds texts from "%s"/"%d" formats over UTF-16 strings, the way the
// component forms every SQL text and message. The C library's wide formatting
// is not used because wchar_t is 32-bit on Linux.
// Thread-safety: stateless; safe from any thread. Throws only std::bad_alloc.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "Platform.h"

class WideFormat {
public:
    // One argument: a text (a null pointer reads as empty) or a 64-bit integer.
    class Arg {
    public:
        Arg(const WString& text) : text_(text.data()), length_(text.size()) {}
        Arg(const OLECHAR* text)
            : text_(text ? text : OLESTR("")), length_(std::char_traits<OLECHAR>::length(text ? text : OLESTR(""))) {}
        Arg(int value) : number_(value), isNumber_(true) {}
        Arg(long value) : number_(value), isNumber_(true) {}
        Arg(long long value) : number_(value), isNumber_(true) {}
        Arg(unsigned value) : number_(value), isNumber_(true) {}

    private:
        friend class WideFormat;
        const OLECHAR* text_ = nullptr;
        size_t length_ = 0;
        int64_t number_ = 0;
        bool isNumber_ = false;
    };

    // Replaces each "%s" or "%d" with the next argument in order and "%%" with
    // "%". A directive without an argument left is copied as it stands.
    static WString Format(const OLECHAR* format, std::initializer_list<Arg> args);

    // Appends the decimal form of a number.
    static void AppendNumber(WString& out, int64_t value);
};
