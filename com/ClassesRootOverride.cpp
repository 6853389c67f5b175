#include "com/ClassesRootOverride.h"

ClassesRootOverride::~ClassesRootOverride() {
    if (applied_) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
}

HRESULT ClassesRootOverride::Apply() noexcept {
    if (applied_) return S_OK;
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, OLESTR("Software\\Classes"), 0, nullptr,
                                     REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, userClasses_.Receive(),
                                     nullptr);
    if (status == ERROR_SUCCESS) status = RegOverridePredefKey(HKEY_CLASSES_ROOT, userClasses_.Get());
    if (status != ERROR_SUCCESS) {
        userClasses_.Reset();
        return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
    }
    applied_ = true;
    return S_OK;
}
