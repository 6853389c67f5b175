// A registry script in the registrar's text format, parsed into key trees:
//
//     HKCR
//     {
//         NoRemove CLSID
//         {
//             ForceRemove {guid} = s 'Text'
//             {
//                 InprocServer32 = s '%MODULE%'
//                 {
//                     val ThreadingModel = s 'Both'
//                 }
//             }
//         }
//     }
//
// Tokens are separated by white space; a name is a bare word or a quoted
// text ('...' with '' for a quote). A key may carry one flag (NoRemove,
// ForceRemove, Delete), a default value (= s 'text' or = d 'number') and a
// block of named values (val Name = s '...') and subkeys. Keywords compare
// without case; a quoted name is never a keyword. "%NAME%" in names and
// values is replaced from the replacement table, "%%" stands for "%".
// Roots: HKCR, HKCU, HKLM, HKU and their HKEY_... names.
// Thread-safety: stateless. Failure: HRESULT, never exceptions.
#pragma once

#include <map>
#include <vector>

#include "com/Platform.h"

class RegistryScript {
public:
    enum class Flag { None, NoRemove, ForceRemove, Delete };

    struct Value {
        WString name;  // empty: the key's default value
        DWORD type = REG_SZ;  // REG_SZ or REG_DWORD
        WString text;
        DWORD number = 0;
    };

    struct Key {
        WString name;
        Flag flag = Flag::None;
        std::vector<Value> values;  // the default value first, when given
        std::vector<Key> subKeys;
    };

    struct Root {
        HKEY root = nullptr;
        std::vector<Key> keys;
    };

    // Replacement names are stored without the surrounding '%'.
    using Replacements = std::map<WString, WString>;

    // Parses a whole script. E_INVALIDARG for a null text; DISP_E_EXCEPTION
    // for a syntax error or an unknown replacement; E_OUTOFMEMORY.
    static HRESULT Parse(const OLECHAR* text, const Replacements& replacements, std::vector<Root>& roots) noexcept;

private:
    class Reader;
};
