// Shared helpers of the result-object tests: ASCII text in and out of BSTRs,
// and creation of the objects through their creator.
#pragma once

#include <optional>
#include <string>

#include "com/ComBstr.h"
#include "com/ComPtr.h"
#include "com/Platform.h"

class ResultsTestSupport {
public:
    static ComBstr Bstr(const std::string& ascii) {
        WString wide(ascii.begin(), ascii.end());
        ComBstr out;
        out.Assign(wide);
        return out;
    }
    // nullopt for a null BSTR.
    static std::optional<std::string> Text(BSTR text) {
        if (text == nullptr) {
            return std::nullopt;
        }
        std::string out;
        for (UINT i = 0; i < SysStringLen(text); ++i) {
            out += static_cast<char>(text[i]);
        }
        return out;
    }
};
