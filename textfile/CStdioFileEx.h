// Line reader and writer for text files stored either as UTF-16 little-endian
// text with the byte-order mark FF FE or as 8-bit text in a code page.
// A file that starts with the UTF-8 mark EF BB BF (what Windows editors and
// spreadsheets write as "UTF-8") is read as UTF-8 whatever the code page.
// Lines are read from blocks that the base holds ahead of the position, and
// found with memchr; an 8-bit line of bytes below 80 (the same characters in
// UTF-8 and every ANSI code page) is widened directly, any other converted
// through the code page.
// Ownership: as the base; conversion buffers above the fixed 4096-element
// ones are heap arrays owned by the call that needs them and freed before it
// returns.
// Thread-safety: none; one object is used by one thread at a time.
// Failures: Open answers 0; ReadString answers false at end of file or when
// closed; an 8-bit line that cannot be converted reads as an empty line; a
// memory shortage while growing a line buffer throws std::bad_alloc.
#pragma once

#include <cstddef>

#include "com/Platform.h"
#include "textfile/CStdioFile.h"

class CStdioFileEx : public CStdioFile {
public:
    // Open flag of this class: write the file as UTF-16 little-endian text.
    static constexpr UINT modeWriteUnicode = 0x200000;
    // Code page value that stands for the system's ANSI code page (GetACP).
    static constexpr int kSystemCodePage = -1;
    static constexpr size_t kLineBufferSize = 4096;

    CStdioFileEx() noexcept;

    // Opens in binary mode (a text-type flag becomes the binary one). For read
    // access, or read-write access without create, the first bytes decide
    // the encoding: FF FE is UTF-16 little-endian, EF BB BF UTF-8, anything
    // else (including FE FF, or a file shorter than two bytes) 8-bit text in
    // the code page. With create or write access the encoding is
    // modeWriteUnicode. Leaves the position at 0 and the mark unread.
    // Answers nonzero on success, 0 otherwise.
    BOOL Open(const OLECHAR* fileName, UINT openFlags) override;

    // Marks the next ReadString as a start of file again, then seeks as the
    // base does.
    ULONGLONG Seek(LONGLONG offset, UINT from) override;

    using CStdioFile::ReadString;
    // Reads the next line without its line feed and without one carriage
    // return before it; at position 0 a UTF-16 or UTF-8 mark (or, with code
    // page 65001, three bytes) is skipped first. `line` is assigned in place,
    // so its capacity is reused. Answers false, with `line` emptied, at end of
    // file. An 8-bit line ends at a zero byte; a UTF-16 line keeps zero units.
    bool ReadString(WString& line);

    // Writes `text` (zero-terminated) in the file's encoding without any
    // line-ending translation. A write at position 0 first writes the mark
    // FF FE (modeWriteUnicode) or EF BB BF (code page 65001). A null text
    // writes nothing. Short writes show in the stream's error state.
    void WriteString(const OLECHAR* text);

    bool IsUnicode() const noexcept { return m_bUnicode; }
    // True when the open found the UTF-8 mark: 8-bit lines are then UTF-8.
    bool HasUtf8Mark() const noexcept { return m_bUtf8Mark; }
    UINT GetOpenFlags() const noexcept { return m_nOpenFlags; }
    int GetCodePage() const noexcept { return m_nCodePage; }
    // Code page for 8-bit text; kSystemCodePage is the ANSI code page as
    // GetACP gave it when the file was opened (before any Open, at each use).
    void SetCodePage(int codePage) noexcept { m_nCodePage = codePage; }

    // Converts zero-terminated 8-bit text into `target` (zero-filled over
    // `targetSize` first). Answers the characters written without the
    // terminator; 0 for a null pointer, a size below 1, or a failure.
    static int MultiByteToWide(const char* text, OLECHAR* target, int targetSize, int codePage);
    // Wide characters that `text` converts to, terminator included; 0 for null.
    static int GetWideLength(const char* text, int codePage);
    // Converts zero-terminated wide text into `target` (zero-filled first),
    // writing `substitute` for characters the code page cannot hold. Answers
    // the bytes written without the terminator; 0 for a null pointer, a size
    // below 1, or a failure.
    static int WideToMultiByte(const OLECHAR* text, char* target, int targetSize, int codePage, char substitute);
    // Bytes that `text` converts to, terminator included; 0 for null.
    static int GetMultiByteLength(const OLECHAR* text, int codePage);

private:
    bool ReadWideLine(WString& line);
    bool ReadNarrowLine(WString& line);
    // `count` bytes of 8-bit text (no line feed) into `line`.
    void ConvertNarrowLine(const char* text, size_t count, WString& line);
    void WriteUnits(const OLECHAR* text, size_t length);
    // The code page that 8-bit text is read and written in.
    int TextCodePage() const noexcept {
        if (m_bUtf8Mark) return static_cast<int>(CP_UTF8);
        return m_nCodePage == kSystemCodePage ? static_cast<int>(m_nAnsiCodePage) : m_nCodePage;
    }

    bool m_bUnicode;
    bool m_bUtf8Mark;
    UINT m_nOpenFlags;
    int m_nCodePage;
    UINT m_nAnsiCodePage;
    char m_cSubstitute;
    bool m_bWriteMark;
    OLECHAR m_wideLine[kLineBufferSize];
    char m_narrowLine[kLineBufferSize];
    bool m_bAtStart;
};
