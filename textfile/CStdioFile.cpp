#include "textfile/CStdioFile.h"

#include <algorithm>
#include <cstring>

namespace {

// 64-bit positions on both targets (long is 32-bit on Windows).
int SeekStream(FILE* stream, LONGLONG offset, int origin) {
#ifdef _WIN32
    return _fseeki64(stream, offset, origin);
#else
    return std::fseek(stream, static_cast<long>(offset), origin);
#endif
}

LONGLONG TellStream(FILE* stream) {
#ifdef _WIN32
    return _ftelli64(stream);
#else
    return std::ftell(stream);
#endif
}

} // namespace

CStdioFile::~CStdioFile() { Close(); }

BOOL CStdioFile::Open(const OLECHAR* fileName, UINT openFlags) {
    Close();
    if (fileName == nullptr) {
        return FALSE;
    }
    const UINT access = openFlags & 3U;
    const OLECHAR* mode;
    bool toEnd = false;
    if ((openFlags & modeCreate) != 0) {
        if ((openFlags & modeNoTruncate) != 0) {
            mode = OLESTR("a+b");
            toEnd = true;
        } else {
            mode = access == modeWrite ? OLESTR("wb") : OLESTR("w+b");
        }
    } else {
        mode = access == modeRead ? OLESTR("rb") : OLESTR("r+b");
    }
    m_pStream = _wfopen(fileName, mode);
    if (m_pStream == nullptr) {
        return FALSE;
    }
    // Appending writes go to the end; report that as the position.
    if (toEnd) {
        SeekStream(m_pStream, 0, SEEK_END);
    }
    return TRUE;
}

void CStdioFile::Close() noexcept {
    m_aheadBegin = m_aheadEnd = 0;
    if (m_pStream != nullptr) {
        std::fclose(m_pStream);
        m_pStream = nullptr;
    }
}

UINT CStdioFile::Read(void* buffer, UINT count) {
    if (m_pStream == nullptr || buffer == nullptr || count == 0) {
        return 0;
    }
    const size_t held = std::min<size_t>(HeldSize(), count);
    if (held > 0) {
        std::memcpy(buffer, Held(), held);
        Consume(held);
    }
    if (held == count) {
        return count;
    }
    return static_cast<UINT>(held + std::fread(static_cast<char*>(buffer) + held, 1, count - held, m_pStream));
}

UINT CStdioFile::Write(const void* buffer, UINT count) {
    if (m_pStream == nullptr || buffer == nullptr || count == 0) {
        return 0;
    }
    GiveBack();
    return static_cast<UINT>(std::fwrite(buffer, 1, count, m_pStream));
}

ULONGLONG CStdioFile::Seek(LONGLONG offset, UINT from) {
    static const int kOrigins[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (m_pStream == nullptr || from > end) {
        return kInvalidPosition;
    }
    GiveBack();
    if (SeekStream(m_pStream, offset, kOrigins[from]) != 0) {
        return kInvalidPosition;
    }
    return GetPosition();
}

ULONGLONG CStdioFile::GetPosition() const {
    if (m_pStream == nullptr) {
        return kInvalidPosition;
    }
    const LONGLONG position = TellStream(m_pStream);
    return position < 0 ? kInvalidPosition : static_cast<ULONGLONG>(position) - HeldSize();
}

bool CStdioFile::HoldMore() {
    if (m_pStream == nullptr) {
        return false;
    }
    // Held bytes move to the front; a buffer they fill doubles.
    const size_t held = HeldSize();
    if (m_aheadBegin > 0) {
        std::memmove(m_ahead.data(), Held(), held);
        m_aheadBegin = 0;
        m_aheadEnd = held;
    }
    if (m_ahead.size() < held + kReadBlockSize) {
        m_ahead.resize(std::max(held + kReadBlockSize, 2 * m_ahead.size()));
    }
    const size_t read = std::fread(m_ahead.data() + held, 1, m_ahead.size() - held, m_pStream);
    m_aheadEnd += read;
    return read > 0;
}

void CStdioFile::GiveBack() noexcept {
    if (HeldSize() > 0 && m_pStream != nullptr) {
        SeekStream(m_pStream, -static_cast<LONGLONG>(HeldSize()), SEEK_CUR);
    }
    m_aheadBegin = m_aheadEnd = 0;
}

OLECHAR* CStdioFile::ReadString(OLECHAR* buffer, UINT size) {
    if (m_pStream == nullptr || buffer == nullptr || size < 2) {
        return nullptr;
    }
    GiveBack();
    StreamLock lock(m_pStream);
    UINT count = 0;
    OLECHAR unit = 0;
    while (count < size - 1 && GetUnit(lock, unit)) {
        buffer[count++] = unit;
        if (unit == OLECHAR('\n')) {
            break;
        }
    }
    if (count == 0) {
        return nullptr;
    }
    buffer[count] = 0;
    return buffer;
}

// One lock per line instead of one per byte: the locked getc costs about
// fifteen times the unlocked one.
CStdioFile::StreamLock::StreamLock(FILE* stream) noexcept : m_pStream(stream) {
#ifdef _WIN32
    _lock_file(m_pStream);
#else
    flockfile(m_pStream);
#endif
}

CStdioFile::StreamLock::~StreamLock() {
#ifdef _WIN32
    _unlock_file(m_pStream);
#else
    funlockfile(m_pStream);
#endif
}
