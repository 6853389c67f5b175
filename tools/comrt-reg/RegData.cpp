#include "tools/comrt-reg/RegData.h"

#include <cctype>
#include <cstdint>
#include <cstdio>

namespace {
const struct {
    const char* name;
    DWORD type;
} kTypes[] = {
    {"REG_NONE", REG_NONE},   {"REG_SZ", REG_SZ},       {"REG_EXPAND_SZ", REG_EXPAND_SZ}, {"REG_BINARY", REG_BINARY},
    {"REG_DWORD", REG_DWORD}, {"REG_MULTI_SZ", REG_MULTI_SZ}, {"REG_QWORD", REG_QWORD},
};

void PutUnits(const std::u16string& text, std::vector<BYTE>& bytes) {
    for (char16_t unit : text) {
        bytes.push_back(static_cast<BYTE>(unit & 0xFF));
        bytes.push_back(static_cast<BYTE>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
}

// A decimal number, or a hexadecimal one after 0x, no larger than `largest`.
bool Number(const std::string& text, uint64_t largest, uint64_t& number) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (text.empty()) {
        number = 0;
        return true;
    }
    if (digits.empty()) return false;
    number = 0;
    for (char c : digits) {
        const int digit = std::isdigit(static_cast<unsigned char>(c))      ? c - '0'
                          : hex && std::isxdigit(static_cast<unsigned char>(c)) ? std::tolower(c) - 'a' + 10
                                                                                 : -1;
        const unsigned base = hex ? 16 : 10;
        if (digit < 0 || number > (largest - static_cast<unsigned>(digit)) / base) return false;
        number = number * base + static_cast<unsigned>(digit);
    }
    return true;
}
}  // namespace

std::optional<DWORD> RegData::Type(const std::string& name) {
    std::string upper(name);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const auto& type : kTypes) {
        if (upper == type.name) return type.type;
    }
    return std::nullopt;
}

std::string RegData::TypeName(DWORD type) {
    for (const auto& known : kTypes) {
        if (known.type == type) return known.name;
    }
    char text[32];
    std::snprintf(text, sizeof text, "REG_UNKNOWN(0x%x)", static_cast<unsigned>(type));
    return text;
}

bool RegData::Encode(DWORD type, const std::string& text, const std::string& separator, std::vector<BYTE>& bytes,
                     std::string& error) {
    bytes.clear();
    uint64_t number = 0;
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        PutUnits(RegData::Wide(text), bytes);
        return true;
    case REG_MULTI_SZ: {
        const std::string split = separator.empty() ? "\\0" : separator;
        for (size_t start = 0;;) {
            const size_t end = text.find(split, start);
            PutUnits(RegData::Wide(text.substr(start, end - start)), bytes);
            if (end == std::string::npos) break;
            start = end + split.size();
        }
        bytes.push_back(0);
        bytes.push_back(0);
        return true;
    }
    case REG_DWORD:
    case REG_QWORD: {
        const bool wide = type == REG_QWORD;
        if (!Number(text, wide ? UINT64_MAX : UINT32_MAX, number)) {
            error = "ERROR: The data of a " + TypeName(type) + " is a number from 0 to " +
                    (wide ? "0xffffffffffffffff" : "0xffffffff") + ", decimal or after 0x.";
            return false;
        }
        for (int i = 0; i < (wide ? 8 : 4); ++i) bytes.push_back(static_cast<BYTE>(number >> (8 * i)));
        return true;
    }
    default:
        // Hex digits, two a byte; an odd count starts with a lone digit.
        for (size_t i = 0; i < text.size(); ++i) {
            if (!std::isxdigit(static_cast<unsigned char>(text[i]))) {
                error = "ERROR: The data of a " + TypeName(type) + " is hex digits, two a byte.";
                return false;
            }
        }
        const std::string digits = text.size() % 2 == 0 ? text : "0" + text;
        for (size_t i = 0; i < digits.size(); i += 2) bytes.push_back(static_cast<BYTE>(std::stoul(digits.substr(i, 2), nullptr, 16)));
        return true;
    }
}

std::string RegData::Show(DWORD type, const std::vector<BYTE>& bytes) {
    std::u16string units;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) units.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    char text[32];
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && bytes.size() % 2 == 0) {
        return RegData::Narrow(units.substr(0, units.find(u'\0')));
    }
    if (type == REG_MULTI_SZ && bytes.size() % 2 == 0) {
        while (!units.empty() && units.back() == u'\0') units.pop_back();
        std::string out;
        for (size_t start = 0; start <= units.size();) {
            size_t end = units.find(u'\0', start);
            if (end == std::u16string::npos) end = units.size();
            out += (start > 0 ? "\\0" : "") + RegData::Narrow(units.substr(start, end - start));
            start = end + 1;
        }
        return units.empty() ? std::string() : out;
    }
    if ((type == REG_DWORD && bytes.size() == 4) || (type == REG_QWORD && bytes.size() == 8)) {
        uint64_t number = 0;
        for (size_t i = 0; i < bytes.size(); ++i) number |= static_cast<uint64_t>(bytes[i]) << (8 * i);
        std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(number));
        return text;
    }
    std::string out;
    for (BYTE b : bytes) {
        std::snprintf(text, sizeof text, "%02X", b);
        out += text;
    }
    return out;
}

std::u16string RegData::Wide(const std::string& text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string wide(static_cast<size_t>(length), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string RegData::Narrow(const std::u16string& text) {
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr,
                        nullptr);
    return narrow;
}
