#include "textfile/CStdioFileEx.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "textfile/CTemplateSmartPtrArray.h"

namespace {

constexpr UINT kUtf8 = 65001;
constexpr OLECHAR kCarriageReturn = 13;
constexpr unsigned char kUtf16Mark[] = {0xFF, 0xFE};
constexpr unsigned char kUtf8Mark[] = {0xEF, 0xBB, 0xBF};

UINT ResolveCodePage(int codePage) {
    return codePage == CStdioFileEx::kSystemCodePage ? GetACP() : static_cast<UINT>(codePage);
}

} // namespace

CStdioFileEx::CStdioFileEx() noexcept
    : m_bUnicode(false),
      m_bUtf8Mark(false),
      m_nOpenFlags(0),
      m_nCodePage(kSystemCodePage),
      m_nAnsiCodePage(CP_ACP),
      m_cSubstitute('#'),
      m_bWriteMark(true),
      m_wideLine{},
      m_narrowLine{},
      m_bAtStart(true) {}

BOOL CStdioFileEx::Open(const OLECHAR* fileName, UINT openFlags) {
    m_bUnicode = (openFlags & modeWriteUnicode) != 0;
    m_bUtf8Mark = false;
    openFlags = (openFlags & ~UINT(typeText)) | typeBinary;
    m_nOpenFlags = openFlags;
    const BOOL opened = CStdioFile::Open(fileName, openFlags);
    // Asked once per file: lines are converted on the import's hot path.
    m_nAnsiCodePage = GetACP();
    m_bAtStart = true;
    if (!opened || (openFlags & (modeCreate | modeWrite)) != 0) {
        return opened;
    }
    // Only a file of at least two bytes can hold a mark.
    unsigned char mark[3];
    const UINT got = Read(mark, 3);
    m_bUnicode = got >= 2 && mark[0] == kUtf16Mark[0] && mark[1] == kUtf16Mark[1];
    m_bUtf8Mark = got == 3 && std::memcmp(mark, kUtf8Mark, sizeof kUtf8Mark) == 0;
    Seek(0, begin);
    return opened;
}

ULONGLONG CStdioFileEx::Seek(LONGLONG offset, UINT from) {
    m_bAtStart = true;
    return CStdioFile::Seek(offset, from);
}

bool CStdioFileEx::ReadString(WString& line) {
    if (m_pStream == nullptr) {
        line.clear();
        return false;
    }
    if (m_bAtStart && GetPosition() == 0) {
        unsigned char skipped[3];
        if (m_bUnicode) {
            Read(skipped, 2);
        } else if (m_bUtf8Mark || m_nCodePage == static_cast<int>(kUtf8)) {
            // The mark was found, or the code page names UTF-8 explicitly
            // and the mark is assumed present.
            Read(skipped, 3);
        }
    }
    if (!(m_bUnicode ? ReadWideLine(line) : ReadNarrowLine(line))) {
        return false;
    }
    if (!line.empty() && line.back() == kCarriageReturn) {
        line.pop_back();
    }
    m_bAtStart = false;
    return true;
}

bool CStdioFileEx::ReadWideLine(WString& line) {
    // A line feed unit is the byte 0A at an even offset followed by 00; other
    // 0A bytes belong to other units.
    size_t searched = 0;  // even; no line feed unit starts before it
    size_t feed = SIZE_MAX;
    while (feed == SIZE_MAX) {
        const char* held = Held();
        const size_t size = HeldSize();
        const void* hit = searched < size ? std::memchr(held + searched, '\n', size - searched) : nullptr;
        if (hit == nullptr) {
            searched = size & ~size_t{1};
        } else {
            const auto at = static_cast<size_t>(static_cast<const char*>(hit) - held);
            if (at % 2 != 0) {
                searched = at + 1;
                continue;
            }
            if (at + 1 < size) {
                if (held[at + 1] == 0) {
                    feed = at;
                }
                searched = at + 2;
                continue;
            }
            searched = at;  // its high byte is still to come
        }
        if (!HoldMore()) {
            break;
        }
    }
    const size_t size = HeldSize();
    // At the end a last odd byte is dropped.
    const size_t units = (feed == SIZE_MAX ? size : feed) / 2;
    if (feed == SIZE_MAX && units == 0) {
        Consume(size);
        line.clear();
        return false;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(Held());
    line.resize(units);
    OLECHAR* out = line.data();
    for (size_t i = 0; i < units; ++i) {
        out[i] = static_cast<OLECHAR>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    Consume(feed == SIZE_MAX ? size : feed + 2);
    return true;
}

bool CStdioFileEx::ReadNarrowLine(WString& line) {
    size_t searched = 0;
    const void* feed = nullptr;
    while (feed == nullptr) {
        if (searched < HeldSize()) {
            feed = std::memchr(Held() + searched, '\n', HeldSize() - searched);
        }
        if (feed == nullptr) {
            searched = HeldSize();
            if (!HoldMore()) {
                break;
            }
        }
    }
    const size_t size = HeldSize();
    if (size == 0) {
        line.clear();
        return false;
    }
    const size_t length = feed != nullptr ? static_cast<size_t>(static_cast<const char*>(feed) - Held()) : size;
    ConvertNarrowLine(Held(), length, line);
    Consume(feed != nullptr ? length + 1 : length);
    return true;
}

void CStdioFileEx::ConvertNarrowLine(const char* text, size_t count, WString& line) {
    // The line ends at a zero byte.
    if (const void* zero = std::memchr(text, 0, count)) {
        count = static_cast<size_t>(static_cast<const char*>(zero) - text);
    }
    if (count == 0 || count >= static_cast<size_t>(INT_MAX)) {
        line.clear();
        return;
    }
    // Every ANSI code page and UTF-8 read bytes below 80 as the same
    // characters: such a line is widened as it stands (and converted again
    // below when a byte turns out to be higher).
    const int codePage = TextCodePage();
    if (codePage == static_cast<int>(kUtf8) || codePage == static_cast<int>(m_nAnsiCodePage)) {
        line.resize(count);
        OLECHAR* out = line.data();
        unsigned char high = 0;
        for (size_t i = 0; i < count; ++i) {
            const auto byte = static_cast<unsigned char>(text[i]);
            high |= byte;
            out[i] = byte;
        }
        if (high < 0x80) {
            return;
        }
    }
    CTemplateSmartPtrArray<char> bytes(m_narrowLine);
    if (count + 1 > kLineBufferSize) {
        bytes.Grow(count + 1, 0);
    }
    std::memcpy(bytes.Get(), text, count);
    bytes.Get()[count] = '\0';
    // No code page yields more wide characters than bytes, so a line that fits
    // the fixed buffer needs no length query.
    const int needed = count < kLineBufferSize ? static_cast<int>(count + 1) : GetWideLength(bytes.Get(), codePage);
    if (needed < 1) {
        line.clear();
        return;
    }
    // Nothing to keep: a longer target starts empty.
    CTemplateSmartPtrArray<OLECHAR> wide(m_wideLine);
    if (static_cast<size_t>(needed) > kLineBufferSize) {
        wide.Grow(static_cast<size_t>(needed), 0);
    }
    const int converted = MultiByteToWide(bytes.Get(), wide.Get(), needed, codePage);
    if (converted > 0) {
        line.assign(wide.Get(), static_cast<size_t>(converted));
    } else {
        line.clear();
    }
}

void CStdioFileEx::WriteString(const OLECHAR* text) {
    if (text == nullptr) {
        return;
    }
    const bool unicode = (m_nOpenFlags & modeWriteUnicode) != 0;
    // The flag stays set: every write that starts at position 0 gets a mark.
    if (m_bWriteMark && (m_pStream == nullptr || GetPosition() == 0)) {
        if (unicode) {
            Write(kUtf16Mark, sizeof kUtf16Mark);
        } else if (m_nCodePage == static_cast<int>(kUtf8)) {
            Write(kUtf8Mark, sizeof kUtf8Mark);
        }
    }
    if (unicode) {
        WriteUnits(text, std::char_traits<OLECHAR>::length(text));
        return;
    }
    const int needed = GetMultiByteLength(text, TextCodePage());
    if (needed < 1) {
        return;
    }
    CTemplateSmartPtrArray<char> bytes(m_narrowLine);
    if (static_cast<size_t>(needed) > kLineBufferSize) {
        bytes.Grow(static_cast<size_t>(needed), 0);
    }
    const int converted = WideToMultiByte(text, bytes.Get(), needed, TextCodePage(), m_cSubstitute);
    if (converted > 0) {
        Write(bytes.Get(), static_cast<UINT>(converted));
    }
}

// Little-endian bytes whatever the host order, staged in the narrow buffer.
void CStdioFileEx::WriteUnits(const OLECHAR* text, size_t length) {
    constexpr size_t kUnitsPerChunk = kLineBufferSize / 2;
    while (length > 0) {
        const size_t chunk = std::min(length, kUnitsPerChunk);
        for (size_t i = 0; i < chunk; ++i) {
            const auto unit = static_cast<unsigned>(text[i]);
            m_narrowLine[2 * i] = static_cast<char>(unit & 0xFFU);
            m_narrowLine[2 * i + 1] = static_cast<char>((unit >> 8) & 0xFFU);
        }
        if (Write(m_narrowLine, static_cast<UINT>(2 * chunk)) != 2 * chunk) {
            return;
        }
        text += chunk;
        length -= chunk;
    }
}

int CStdioFileEx::MultiByteToWide(const char* text, OLECHAR* target, int targetSize, int codePage) {
    if (text == nullptr || target == nullptr || targetSize < 1) {
        return 0;
    }
    std::memset(target, 0, static_cast<size_t>(targetSize) * sizeof(OLECHAR));
    const UINT resolved = ResolveCodePage(codePage);
    const DWORD flags = resolved == kUtf8 ? 0 : MB_PRECOMPOSED;
    const int written = MultiByteToWideChar(resolved, flags, text, -1, target, targetSize);
    return written < 1 ? written : written - 1;
}

int CStdioFileEx::GetWideLength(const char* text, int codePage) {
    if (text == nullptr) {
        return 0;
    }
    const UINT resolved = ResolveCodePage(codePage);
    const DWORD flags = resolved == kUtf8 ? 0 : MB_PRECOMPOSED;
    return MultiByteToWideChar(resolved, flags, text, -1, nullptr, 0);
}

int CStdioFileEx::WideToMultiByte(const OLECHAR* text, char* target, int targetSize, int codePage,
                                  char substitute) {
    if (text == nullptr || target == nullptr || targetSize < 1) {
        return 0;
    }
    std::memset(target, 0, static_cast<size_t>(targetSize));
    const UINT resolved = ResolveCodePage(codePage);
    int written;
    if (resolved == kUtf8) {
        written = WideCharToMultiByte(resolved, 0, text, -1, target, targetSize, nullptr, nullptr);
    } else {
        const char substituteText[2] = {substitute, '\0'};
        BOOL usedSubstitute = FALSE;
        written = WideCharToMultiByte(resolved, WC_COMPOSITECHECK | WC_SEPCHARS, text, -1, target, targetSize,
                                      substituteText, &usedSubstitute);
    }
    return written < 1 ? written : written - 1;
}

int CStdioFileEx::GetMultiByteLength(const OLECHAR* text, int codePage) {
    if (text == nullptr) {
        return 0;
    }
    const UINT resolved = ResolveCodePage(codePage);
    const DWORD flags = resolved == kUtf8 ? 0 : WC_COMPOSITECHECK | WC_SEPCHARS;
    return WideCharToMultiByte(resolved, flags, text, -1, nullptr, 0, nullptr, nullptr);
}
