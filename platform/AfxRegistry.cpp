#include "AfxRegistry.h"

namespace {
const RegistryApi s_realRegistry = {
    RegOpenKeyExA,   RegCreateKeyExA, RegQueryValueExA, RegSetValueExA,
    RegDeleteValueA, RegDeleteKeyA,   RegCloseKey,
};
const RegistryApi* s_pRegistry = &s_realRegistry;
} // namespace

const RegistryApi& Registry() { return *s_pRegistry; }
const RegistryApi& RealRegistry() { return s_realRegistry; }

ScopedRegistryApi::ScopedRegistryApi(const RegistryApi& api) : ScopedSeam(s_pRegistry, &api) {}
