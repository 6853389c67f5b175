#include "GuidText.h"

#include <comrt/objbase.h>

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";

OLECHAR* PutHex(OLECHAR* out, uint64_t value, int digits) {
    for (int i = digits - 1; i >= 0; --i) *out++ = static_cast<OLECHAR>(kHexDigits[(value >> (4 * i)) & 0xF]);
    return out;
}

int HexValue(OLECHAR c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Reads exactly `digits` hex digits at *text and advances past them.
bool ReadHex(const OLECHAR*& text, int digits, uint64_t* value) {
    uint64_t v = 0;
    for (int i = 0; i < digits; ++i) {
        const int d = HexValue(text[i]);
        if (d < 0) return false;  // also stops at the terminator
        v = (v << 4) | static_cast<uint64_t>(d);
    }
    text += digits;
    *value = v;
    return true;
}

bool Expect(const OLECHAR*& text, OLECHAR c) {
    if (*text != c) return false;
    ++text;
    return true;
}
}  // namespace

void GuidText::Format(const GUID& guid, OLECHAR* buffer) {
    OLECHAR* out = buffer;
    *out++ = u'{';
    out = PutHex(out, guid.Data1, 8);
    *out++ = u'-';
    out = PutHex(out, guid.Data2, 4);
    *out++ = u'-';
    out = PutHex(out, guid.Data3, 4);
    *out++ = u'-';
    for (int i = 0; i < 2; ++i) out = PutHex(out, guid.Data4[i], 2);
    *out++ = u'-';
    for (int i = 2; i < 8; ++i) out = PutHex(out, guid.Data4[i], 2);
    *out++ = u'}';
    *out = 0;
}

bool GuidText::Parse(const OLECHAR* text, GUID* guid) {
    if (text == nullptr) return false;
    GUID g{};
    uint64_t v = 0;
    const OLECHAR* p = text;
    if (!Expect(p, u'{') || !ReadHex(p, 8, &v)) return false;
    g.Data1 = static_cast<uint32_t>(v);
    if (!Expect(p, u'-') || !ReadHex(p, 4, &v)) return false;
    g.Data2 = static_cast<uint16_t>(v);
    if (!Expect(p, u'-') || !ReadHex(p, 4, &v)) return false;
    g.Data3 = static_cast<uint16_t>(v);
    if (!Expect(p, u'-')) return false;
    for (int i = 0; i < 8; ++i) {
        if (i == 2 && !Expect(p, u'-')) return false;
        if (!ReadHex(p, 2, &v)) return false;
        g.Data4[i] = static_cast<uint8_t>(v);
    }
    if (!Expect(p, u'}') || *p != 0) return false;
    *guid = g;
    return true;
}

int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int cchMax) {
    if (buffer == nullptr || cchMax < GuidText::kLength) return 0;
    GuidText::Format(guid, buffer);
    return GuidText::kLength;
}

HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID pclsid) {
    if (pclsid == nullptr) return E_INVALIDARG;
    if (text == nullptr) {
        *pclsid = GUID_NULL;
        return S_OK;
    }
    if (GuidText::Parse(text, pclsid)) return S_OK;
    // A ProgID is accepted in place of the braced form.
    CLSID fromProgId{};
    if (text[0] != u'{' && SUCCEEDED(CLSIDFromProgID(text, &fromProgId))) {
        *pclsid = fromProgId;
        return S_OK;
    }
    *pclsid = GUID_NULL;
    return CO_E_CLASSSTRING;
}

HRESULT IIDFromString(LPCOLESTR text, LPGUID piid) {
    if (piid == nullptr) return E_INVALIDARG;
    if (text == nullptr) {
        *piid = GUID_NULL;
        return S_OK;
    }
    if (GuidText::Parse(text, piid)) return S_OK;
    *piid = GUID_NULL;
    return E_INVALIDARG;
}
