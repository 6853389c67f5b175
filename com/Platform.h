// The platform underneath the component: the Windows SDK on Windows, libcomrt
// on Linux. Every portable folder includes this instead of a system header.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <olectl.h>
#include <ocidl.h>
#else
#include <comrt/comrt.h>
#endif

#include <string>
#include <string_view>

// Wide working text: UTF-16 on both targets.
using WString = std::basic_string<OLECHAR>;
// A view of wide text owned elsewhere (a BSTR argument, a WString).
using WStringView = std::basic_string_view<OLECHAR>;
