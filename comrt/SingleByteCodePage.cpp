#include "SingleByteCodePage.h"

#include <iconv.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <mutex>

namespace {
struct Known {
    UINT codePage;
    const char* charset;
};
constexpr Known kKnown[] = {
    {1250, "CP1250"}, {1251, "CP1251"}, {1252, "CP1252"}, {1253, "CP1253"}, {1254, "CP1254"}, {1255, "CP1255"},
    {1256, "CP1256"}, {1257, "CP1257"}, {1258, "CP1258"}, {437, "IBM437"},   {850, "IBM850"},
};
constexpr size_t kKnownCount = std::size(kKnown);

// Owns an iconv descriptor.
struct Converter {
    explicit Converter(const char* from) : cd(iconv_open("UTF-16LE", from)) {}
    ~Converter() {
        if (Valid()) iconv_close(cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool Valid() const { return cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t cd;
};
}  // namespace

bool SingleByteCodePage::Load(const char* charset) {
    Converter converter(charset);
    if (!converter.Valid()) return false;
    for (unsigned byte = 0; byte < 256; ++byte) {
        char in = static_cast<char>(byte);
        unsigned char out[8] = {};
        char* inAt = &in;
        char* outAt = reinterpret_cast<char*>(out);
        size_t inLeft = 1;
        size_t outLeft = sizeof out;
        // Each byte alone, then a flush: the Vietnamese and Hebrew converters
        // hold a letter back to combine it with a following mark.
        const bool ok = iconv(converter.cd, &inAt, &inLeft, &outAt, &outLeft) != static_cast<size_t>(-1) &&
                        iconv(converter.cd, nullptr, nullptr, &outAt, &outLeft) != static_cast<size_t>(-1) &&
                        sizeof out - outLeft == 2;
        iconv(converter.cd, nullptr, nullptr, nullptr, nullptr);
        if (ok) {
            toWide_[byte] = static_cast<char16_t>(out[0] | (out[1] << 8));
        } else {
            toWide_[byte] = byte >= 0x80 && byte <= 0x9F ? static_cast<char16_t>(byte) : kUndefined;
        }
        if (toWide_[byte] != kUndefined) toByte_.emplace_back(toWide_[byte], static_cast<unsigned char>(byte));
    }
    std::sort(toByte_.begin(), toByte_.end());
    return true;
}

int SingleByteCodePage::ToByte(char16_t c) const {
    if (c < 0x80 && toWide_[c] == c) return c;
    const auto found = std::lower_bound(toByte_.begin(), toByte_.end(), std::make_pair(c, static_cast<unsigned char>(0)));
    return found != toByte_.end() && found->first == c ? found->second : -1;
}

const SingleByteCodePage* SingleByteCodePage::Find(UINT codePage) {
    static std::once_flag loaded[kKnownCount];
    static const SingleByteCodePage* pages[kKnownCount] = {};
    for (size_t i = 0; i < kKnownCount; ++i) {
        if (kKnown[i].codePage != codePage) continue;
        std::call_once(loaded[i], [i] {
            std::unique_ptr<SingleByteCodePage> page(new SingleByteCodePage);
            if (page->Load(kKnown[i].charset)) pages[i] = page.release();
        });
        return pages[i];
    }
    return nullptr;
}
