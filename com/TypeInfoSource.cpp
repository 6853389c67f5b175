// The Linux build: the runtime offers no type information.
#include "com/TypeInfoSource.h"

UINT TypeInfoSource::Count() noexcept { return 0; }

HRESULT TypeInfoSource::Get(LCID, ITypeInfo** typeInfo) const noexcept {
    *typeInfo = nullptr;
    return E_NOTIMPL;
}
