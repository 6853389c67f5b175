// SQLite's default file layer in this process once installed: a shim over
// the layer that was the default before (SQLite's own Unix one), which takes
// full paths of up to 4096 bytes, the host's own limit, where SQLite's own
// stops at 512. A file whose name is too long for the layer below is handed
// to it under a short LongPathAlias that names the same file; everything else
// passes through untouched. It maps no Windows paths: HostPath does that
// before each open.
// It lives in a library of its own (comrt/sqlite), linked into the component
// and its tests, so that libcomrt and its clients do not depend on SQLite.
// Installed when the library that holds it is loaded (any program or module
// that opens databases through HostPath), and again by Install, which does
// nothing once it has run.
// Thread-safety: Install may be called from any thread, as often as wanted.
// Failure: Install answers false when SQLite has no default layer or refuses
// the registration; opens then use SQLite's own layer, where long names fail
// with SQLITE_CANTOPEN.
#pragma once

class SqliteHostVfs {
public:
    // Longest full path, terminator excluded, that the shim accepts.
    static constexpr int kMaxPathname = 4096;

    // Registers the shim as SQLite's default once per process.
    static bool Install();
};
