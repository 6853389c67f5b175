// Shared helpers of the result-object tests: ASCII text in and out of BSTRs,
// and late-bound calls by name.
#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

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
    // Calls the method `name` through IDispatch, the arguments given in
    // declaration order (Invoke takes them last first).
    static HRESULT Call(IDispatch* object, const OLECHAR* name, std::vector<VARIANT> args, VARIANT* result,
                        WORD flags = DISPATCH_METHOD) {
        LPOLESTR text = const_cast<LPOLESTR>(name);
        DISPID id = 0;
        const HRESULT hr = object->GetIDsOfNames(IID_NULL, &text, 1, 0, &id);
        if (FAILED(hr)) return hr;
        std::reverse(args.begin(), args.end());
        DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
        return object->Invoke(id, IID_NULL, 0, flags, &params, result, nullptr, nullptr);
    }
    static VARIANT Arg(BSTR text) {
        VARIANT v{};
        v.vt = VT_BSTR;
        v.bstrVal = text;
        return v;
    }
};
