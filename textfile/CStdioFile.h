// A file on a buffered standard-I/O stream, opened always in binary mode.
// Ownership: the object owns its stream; Close and the destructor release it.
// Thread-safety: none; one object is used by one thread at a time.
// Failures are answered, never thrown: Open answers FALSE, Read and Write the
// byte count actually moved, Seek and GetPosition kInvalidPosition; only the
// line readers of derived classes may throw std::bad_alloc while holding a
// long line.
// Derived line readers may take bytes from the stream in blocks ahead of the
// position (HoldMore): Read hands those out first, GetPosition counts them
// as unread, and Write, Seek and ReadString give them back to the stream
// first (a seek back, so mixing them with line reads needs a seekable file).
#pragma once

#include <cstddef>
#include <cstdio>
#include <vector>

#include "com/Platform.h"

class CStdioFile {
public:
    // Open flags: access in the low two bits, then creation and type flags.
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareDenyNone = 0x0040,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000,
    };
    // Seek origins.
    enum SeekPosition : UINT { begin = 0, current = 1, end = 2 };

    static constexpr ULONGLONG kInvalidPosition = ~ULONGLONG(0);
    // Bytes a line reader takes from the stream at a time.
    static constexpr size_t kReadBlockSize = 64 * 1024;

    CStdioFile() noexcept = default;
    virtual ~CStdioFile();
    CStdioFile(const CStdioFile&) = delete;
    CStdioFile& operator=(const CStdioFile&) = delete;

    // Opens `fileName` (a path of the runtime's path mapping) with the mode
    // that the flags select: create "wb" (write) or "w+b"; create with no
    // truncation "a+b", positioned at the end; otherwise "rb" (read) or "r+b".
    // The type flags are ignored: the stream is always binary. A file that is
    // already open is closed first. Answers nonzero on success.
    virtual BOOL Open(const OLECHAR* fileName, UINT openFlags);

    // Releases the stream; a closed object stays closed.
    void Close() noexcept;

    // Bytes read into `buffer`; 0 at end of file or when closed.
    UINT Read(void* buffer, UINT count);
    // Bytes written from `buffer`; 0 when closed.
    UINT Write(const void* buffer, UINT count);

    // Moves to `offset` from `from` (begin, current, end); answers the new
    // position, or kInvalidPosition (position unchanged) on failure.
    virtual ULONGLONG Seek(LONGLONG offset, UINT from);
    // Current byte position, or kInvalidPosition when closed.
    ULONGLONG GetPosition() const;

    // Reads UTF-16 little-endian units up to and including a line feed, at
    // most size - 1 of them, and terminates the text. Answers `buffer`, or
    // null at end of file, when closed, or when size is below 2.
    OLECHAR* ReadString(OLECHAR* buffer, UINT size);

    FILE* GetStream() const noexcept { return m_pStream; }

protected:
    // Bytes read ahead of the position and not yet handed out.
    const char* Held() const noexcept { return m_ahead.data() + m_aheadBegin; }
    size_t HeldSize() const noexcept { return m_aheadEnd - m_aheadBegin; }
    // Hands out the first `count` held bytes. A buffer that a long line grew
    // is released once nothing is held in it.
    void Consume(size_t count) noexcept {
        m_aheadBegin += count;
        if (m_aheadBegin == m_aheadEnd) {
            m_aheadBegin = m_aheadEnd = 0;
            if (m_ahead.size() > kReadBlockSize) {
                std::vector<char>().swap(m_ahead);
            }
        }
    }
    // Reads the next block after the held bytes, which stay in place relative
    // to Held() (Held() itself may move); the buffer grows when they fill
    // it. False when nothing more could be read (end of file or an error).
    bool HoldMore();
    // Returns held bytes to the stream, so that it stands at the position.
    void GiveBack() noexcept;

    // Holds the stream's lock for a run of unlocked byte reads (one line).
    class StreamLock {
    public:
        explicit StreamLock(FILE* stream) noexcept;
        ~StreamLock();
        StreamLock(const StreamLock&) = delete;
        StreamLock& operator=(const StreamLock&) = delete;
        // Next byte, or EOF; only while the lock is held. Inline: it runs
        // once per byte of every line.
        int GetByte() noexcept {
#ifdef _WIN32
            return _getc_nolock(m_pStream);
#else
            return getc_unlocked(m_pStream);
#endif
        }

    private:
        FILE* m_pStream;
    };

    // Reads one UTF-16 little-endian unit; false at end of file (a last odd
    // byte is dropped).
    static bool GetUnit(StreamLock& lock, OLECHAR& unit) noexcept {
        const int low = lock.GetByte();
        if (low == EOF) {
            return false;
        }
        const int high = lock.GetByte();
        if (high == EOF) {
            return false;
        }
        unit = static_cast<OLECHAR>(static_cast<unsigned>(low) | (static_cast<unsigned>(high) << 8));
        return true;
    }

    FILE* m_pStream = nullptr;

private:
    std::vector<char> m_ahead;
    size_t m_aheadBegin = 0;
    size_t m_aheadEnd = 0;
};
