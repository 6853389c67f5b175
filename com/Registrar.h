// Runs registry scripts (see RegistryScript.h) against the registry, as the
// platform's script registrar does for a self-registering server.
//
// Registration creates every key the script names and writes its values; a
// ForceRemove key is first deleted with its whole tree, so registering twice
// leaves one set of keys; a Delete key is only deleted. Unregistration removes
// what the script names: a ForceRemove or Delete key with its tree; a plain
// key after its scripted subkeys and values, unless other subkeys remain; a
// NoRemove key never (only what the script names below it). Keys already
// missing count as removed.
// Keys go under the script's root as the registry resolves it at the time, so
// an override of HKEY_CLASSES_ROOT (per-user registration) applies.
// Thread-safety: one instance per thread. Failure: the HRESULT of the first
// failing registry call or of the parser; the steps before it stay done.
#pragma once

#include "com/RegistryScript.h"

class Registrar {
public:
    // Adds or replaces the text that "%name%" stands for (name without '%').
    HRESULT AddReplacement(LPCOLESTR name, LPCOLESTR value) noexcept;
    HRESULT ClearReplacements() noexcept;

    HRESULT StringRegister(LPCOLESTR script) noexcept;
    HRESULT StringUnregister(LPCOLESTR script) noexcept;

private:
    HRESULT Run(LPCOLESTR script, bool reg) noexcept;
    static HRESULT RegisterKey(HKEY parent, const RegistryScript::Key& key);
    static HRESULT UnregisterKey(HKEY parent, const RegistryScript::Key& key);
    static HRESULT SetValue(HKEY key, const RegistryScript::Value& value);

    RegistryScript::Replacements replacements_;
};
