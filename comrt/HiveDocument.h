// Writes a hive file with a change made to it, rewriting only the lines of
// the keys and values that changed. Comments, blank lines, the order of
// sections, sections of other roots, the spelling of untouched values (hex
// continued over lines, for example), the line ending and the encoding
// (UTF-8 with or without a byte-order mark, or UTF-16LE with one, as the
// registry editor exports) all stay as they were.
// New keys are written as sections after the nearest existing key before
// them in key order, new values at the end of their key's last section;
// where a key has several sections, the last spelling of a value holds, and
// a changed value is written there. A deleted key loses its sections, with
// the comments and blank lines above them.
// The text of untouched sections is copied a run at a time, so a rewrite
// costs one pass over the file and the new text beside the file read.
// Thread-safety: stateless. Failure: nothing throws except std::bad_alloc.
#pragma once

#include <string>

#include "HiveChange.h"

class HiveDocument {
public:
    // The bytes of the file `change` was made over (read whole, not
    // refused), with the change; the same bytes when nothing changed.
    static std::string Render(const HiveChange& change);

private:
    class Output;
    class Pieces;
    struct KeyValues;
};
