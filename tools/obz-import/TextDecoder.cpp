#include "TextDecoder.h"

#include <cstdint>
#include <cstring>

namespace {
constexpr unsigned char kUtf8Mark[] = {0xEF, 0xBB, 0xBF};

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }
bool IsHighSurrogate(unsigned unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(unsigned unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Appends code point `code` (not a surrogate) in UTF-8.
void PutUtf8(uint32_t code, std::string& out) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}
}  // namespace

TextDecoder::TextDecoder(std::FILE* in, size_t blockSize) : in_(in), bytes_(blockSize < 8 ? 8 : blockSize) {}

void TextDecoder::Start() {
    started_ = true;
    const size_t got = std::fread(bytes_.data(), 1, 3, in_);
    size_t mark = 0;
    if (got == 3 && std::memcmp(bytes_.data(), kUtf8Mark, 3) == 0) {
        encoding_ = Encoding::Utf8WithMark;
        mark = 3;
    } else if (got >= 2 && bytes_[0] == 0xFF && bytes_[1] == 0xFE) {
        encoding_ = Encoding::Utf16LittleEndian;
        mark = 2;
    } else if (got >= 2 && bytes_[0] == 0xFE && bytes_[1] == 0xFF) {
        encoding_ = Encoding::Utf16BigEndian;
        mark = 2;
    }
    carried_ = got - mark;
    std::memmove(bytes_.data(), bytes_.data() + mark, carried_);
}

bool TextDecoder::Read(std::string& out) {
    if (!started_) Start();
    const size_t before = out.size();
    while (!ended_ && out.size() == before) {
        const size_t wanted = bytes_.size() - carried_;
        const size_t got = std::fread(bytes_.data() + carried_, 1, wanted, in_);
        const bool last = got < wanted;
        if (last && std::ferror(in_) != 0) failed_ = true;
        const size_t count = carried_ + got;
        carried_ = 0;
        if (encoding_ == Encoding::Utf8 || encoding_ == Encoding::Utf8WithMark) {
            DecodeUtf8(count, last, out);
        } else {
            DecodeUtf16(count, last, out);
        }
        ended_ = last;
    }
    return out.size() > before;
}

void TextDecoder::DecodeUtf8(size_t count, bool last, std::string& out) {
    const unsigned char* in = bytes_.data();
    const size_t start = out.size();
    // Valid text is copied as it is, and invalid input shrinks to one byte.
    out.resize(start + count);
    char* put = out.data() + start;
    size_t at = 0;
    while (at < count) {
        // Runs of ASCII, eight bytes at a time where they allow.
        while (at + 8 <= count) {
            uint64_t word;
            std::memcpy(&word, in + at, 8);
            if ((word & 0x8080808080808080ULL) != 0) break;
            std::memcpy(put, &word, 8);
            put += 8;
            at += 8;
        }
        if (at >= count) break;
        const unsigned char lead = in[at];
        if (lead < 0x80) {
            *put++ = static_cast<char>(lead);
            ++at;
            continue;
        }
        // C0, C1 and F5 to FF never start a character; a continuation byte
        // here has lost its lead.
        if (lead < 0xC2 || lead > 0xF4) {
            *put++ = kInvalid;
            ++at;
            continue;
        }
        const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        size_t have = 1;
        while (have < length && at + have < count && IsContinuation(in[at + have])) ++have;
        if (have < length) {
            if (at + have == count && !last) {
                // The character goes on in the next block.
                carried_ = count - at;
                std::memmove(bytes_.data(), in + at, carried_);
                break;
            }
            *put++ = kInvalid;
            at += have;
            continue;
        }
        uint32_t code = lead & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
        for (size_t k = 1; k < length; ++k) code = (code << 6) | (in[at + k] & 0x3F);
        const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
        if (overlong || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            *put++ = kInvalid;
        } else {
            std::memcpy(put, in + at, length);
            put += length;
        }
        at += length;
    }
    out.resize(static_cast<size_t>(put - out.data()));
}

void TextDecoder::DecodeUtf16(size_t count, bool last, std::string& out) {
    const unsigned char* in = bytes_.data();
    const bool little = encoding_ == Encoding::Utf16LittleEndian;
    const size_t units = count / 2;
    out.reserve(out.size() + 3 * units + 2);
    for (size_t i = 0; i < units; ++i) {
        const unsigned a = in[2 * i];
        const unsigned b = in[2 * i + 1];
        const unsigned unit = little ? (a | (b << 8)) : ((a << 8) | b);
        if (pendingHigh_ != 0) {
            if (IsLowSurrogate(unit)) {
                PutUtf8(0x10000 + ((pendingHigh_ - 0xD800) << 10) + (unit - 0xDC00), out);
                pendingHigh_ = 0;
                continue;
            }
            out.push_back(kInvalid);
            pendingHigh_ = 0;
        }
        if (IsHighSurrogate(unit)) {
            pendingHigh_ = unit;
        } else if (IsLowSurrogate(unit)) {
            out.push_back(kInvalid);
        } else {
            PutUtf8(unit, out);
        }
    }
    const bool oddByte = count % 2 != 0;
    if (!last) {
        if (oddByte) {
            bytes_[0] = in[count - 1];
            carried_ = 1;
        }
        return;
    }
    if (pendingHigh_ != 0 || oddByte) out.push_back(kInvalid);
    pendingHigh_ = 0;
}
