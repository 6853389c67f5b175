// The registry scripts embedded in the server module, by resource id:
// 101 the module's own (an empty HKCR block), 106 ZeveVevuVAD, 107 RecordSet,
// 108 RecordItem. The texts come from the .rgs files of this folder; on Linux
// the build turns them into string constants, on Windows they are REGISTRY
// resources of the module.
// Thread-safety: immutable data.
#pragma once

#include "com/Platform.h"

class RegistryScripts {
public:
    static constexpr UINT kModule = 101;
    static constexpr UINT kZeveVevuVAD = 106;
    static constexpr UINT kRecordSet = 107;
    static constexpr UINT kRecordItem = 108;

    // The script text of a resource id; null for an unknown id.
    static const OLECHAR* Find(UINT id) noexcept;
};
