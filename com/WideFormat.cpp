#include "WideFormat.h"

void WideFormat::AppendNumber(WString& out, int64_t value) {
    char digits[24];
    int n = 0;
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) out.push_back(OLESTR('-'));
    while (n > 0) out.push_back(static_cast<OLECHAR>(digits[--n]));
}

WString WideFormat::Format(const OLECHAR* format, std::initializer_list<Arg> args) {
    WString out;
    if (format == nullptr) return out;
    const Arg* next = args.begin();
    size_t reserve = std::char_traits<OLECHAR>::length(format);
    for (const Arg& a : args) reserve += a.isNumber_ ? 20 : a.length_;
    out.reserve(reserve);
    for (const OLECHAR* p = format; *p != 0; ++p) {
        if (*p == OLESTR('%') && (p[1] == OLESTR('s') || p[1] == OLESTR('d')) && next != args.end()) {
            if (next->isNumber_)
                AppendNumber(out, next->number_);
            else
                out.append(next->text_, next->length_);
            ++next;
            ++p;
        } else if (*p == OLESTR('%') && p[1] == OLESTR('%')) {
            out.push_back(OLESTR('%'));
            ++p;
        } else {
            out.push_back(*p);
        }
    }
    return out;
}
