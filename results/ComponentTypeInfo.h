// The type information of the component's interfaces: the type library
// OBZeveVevuVADLib 1.0, whose locale is 0x409.
#pragma once

#include <OBZeveVevuVAD.h>

#include "com/TypeInfoSource.h"

constexpr TypeInfoSource ComponentTypeInfo(const IID& iid) noexcept {
    return TypeInfoSource(LIBID_OBZeveVevuVADLib, 1, 0, 0x409, iid);
}
