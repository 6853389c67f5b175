// The file version of the component's own module, as "%d.%d.%d.%d" from the
// fixed file information of its version resource; "0.0.0.0" when the
// resource cannot be read.
// Thread-safety: stateless. Throws only std::bad_alloc.
#pragma once

#include "com/Platform.h"

class ModuleVersion {
public:
    static WString Text();
};
