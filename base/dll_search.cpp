#include "base/dll_search.h"

#include <windows.h>

#include <cstddef>

bool RestrictDllSearchToSystem() { return SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != 0; }

namespace {

// mingw-w64's header still calls DependentLoadFlags Reserved1; Windows reads it at this offset.
static_assert(offsetof(IMAGE_LOAD_CONFIG_DIRECTORY64, Reserved1) == 0x4E, "DependentLoadFlags");

constexpr IMAGE_LOAD_CONFIG_DIRECTORY64 SystemOnlyLoadConfig() {
    IMAGE_LOAD_CONFIG_DIRECTORY64 config = {};
    config.Size = sizeof(config);
    config.Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32;
    return config;
}

} // namespace

// The image's load configuration, which tools/set_load_config.py makes the PE header point at.
// Windows 10 1607 and later apply its DependentLoadFlags to the DLLs that the imported DLLs import
// in turn, before any of our code runs. The section of its own lets that step find it in a
// stripped exe; constexpr keeps it out of the runtime initialisers, as the loader reads it first.
extern "C" {
extern const IMAGE_LOAD_CONFIG_DIRECTORY64 _load_config_used;
__attribute__((section(".ldcfg"), used)) const IMAGE_LOAD_CONFIG_DIRECTORY64 _load_config_used = SystemOnlyLoadConfig();
}
