// Functions of a system library bound at their first use, so that a host that
// never uses what the library serves (the spooler, the device set-up library)
// never loads it. A library once loaded stays until the process ends.
#pragma once

#include <windows.h>

namespace slipdrv {

// The function `name` of the system library `library` as a `Function`
// pointer; null when the library or the function cannot be found.
template <typename Function>
Function systemFunction(const char* library, const char* name) {
    HMODULE module = GetModuleHandleA(library);
    // Only from the system folder, never from the host's folder or the path.
    if (!module) module = LoadLibraryExA(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // A system that predates that flag refuses it; its own search then.
    if (!module && GetLastError() == ERROR_INVALID_PARAMETER) module = LoadLibraryA(library);
    if (!module) return nullptr;
    const FARPROC address = GetProcAddress(module, name);
    // Through the generic function pointer type, as the platform intends.
    return address ? reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address)) : nullptr;
}

}  // namespace slipdrv
