// Reads a text file, block by block, as UTF-8: UTF-8 with or without its
// byte-order mark, or UTF-16 little- or big-endian with its mark (converted).
// The mark chooses the encoding and is not part of the text; a file without
// one is UTF-8.
// Input that is no valid text in its encoding (a malformed or overlong UTF-8
// sequence, an encoded surrogate, a lone UTF-16 surrogate, a last incomplete
// character) becomes the byte kInvalid, FF, which valid UTF-8 never holds;
// every other byte of the output is valid UTF-8.
// Ownership: reads from a stream that the caller owns and keeps open.
// Thread-safety: an instance is not shared. Throws only std::bad_alloc.
// Failures: a read error of the stream ends the text (see ReadFailed).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

class TextDecoder {
public:
    enum class Encoding { Utf8, Utf8WithMark, Utf16LittleEndian, Utf16BigEndian };
    static constexpr char kInvalid = '\xFF';

    explicit TextDecoder(std::FILE* in, size_t blockSize = 256 * 1024);

    // Appends the next block of text to `out`; false, with nothing appended,
    // at the end of the text.
    bool Read(std::string& out);

    // Known once the first Read has looked at the file's first bytes.
    Encoding GetEncoding() const noexcept { return encoding_; }
    bool IsUtf16() const noexcept {
        return encoding_ == Encoding::Utf16LittleEndian || encoding_ == Encoding::Utf16BigEndian;
    }
    // True when the stream reported an error rather than its end.
    bool ReadFailed() const noexcept { return failed_; }

private:
    // Reads the mark, if any, and sets the encoding.
    void Start();
    // Decodes bytes_[0, count) into out; unless `last`, keeps an incomplete
    // character at the end in bytes_ for the next block.
    void DecodeUtf8(size_t count, bool last, std::string& out);
    void DecodeUtf16(size_t count, bool last, std::string& out);

    std::FILE* in_;
    std::vector<unsigned char> bytes_;
    size_t carried_ = 0;  // bytes of an incomplete character kept at bytes_[0]
    Encoding encoding_ = Encoding::Utf8;
    bool started_ = false;
    bool ended_ = false;
    bool failed_ = false;
    unsigned pendingHigh_ = 0;  // a UTF-16 high surrogate waiting for its partner
};
