#include <windows.h>

#include <string>

#include "fifos_and_links.h"

namespace slipdrv::testing {
namespace {

// The Linux path Wine gives for `name` in the current directory; empty
// outside Wine.
std::string linuxPath(const std::string& name) {
    using UnixName = char*(CDECL*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    wchar_t directory[MAX_PATH];
    if (!unixName || !GetCurrentDirectoryW(MAX_PATH, directory)) return {};
    char* path = unixName(directory);
    if (!path) return {};
    const std::string whole = std::string(path) + "/" + name;
    HeapFree(GetProcessHeap(), 0, path);
    return whole;
}

// Under Wine a Linux program starts like a Windows one, but it cannot be
// waited for: the caller waits for its outcome instead. Nothing else may
// touch the same name meanwhile.
void runLinux(std::string command) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

// The type of the file `name`; FILE_TYPE_UNKNOWN when there is none.
DWORD fileType(const std::string& name) {
    HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FILE_TYPE_UNKNOWN;
    const DWORD type = GetFileType(file);
    CloseHandle(file);
    return type;
}

// Waits up to 5 s for the file `name` to be of type `wanted`.
bool awaitFileType(const std::string& name, DWORD wanted) {
    for (int attempt = 0; attempt < 500; ++attempt, Sleep(10))
        if (fileType(name) == wanted) return true;
    return false;
}

}  // namespace

// Wine can neither delete a FIFO through Windows calls nor remove a folder
// that holds one (it waits for ever): a FIFO goes on the Linux side.
void removeFile(const std::string& name) {
    if (DeleteFileA(name.c_str()) || fileType(name) == FILE_TYPE_UNKNOWN) return;
    const std::string path = linuxPath(name);
    if (path.empty()) return;
    runLinux("/bin/rm -f \"" + path + "\"");
    awaitFileType(name, FILE_TYPE_UNKNOWN);
}

bool makeFifo(const std::string& name) {
    const std::string path = linuxPath(name);
    if (path.empty()) return false;
    removeFile(name);
    runLinux("/usr/bin/mkfifo \"" + path + "\"");
    return awaitFileType(name, FILE_TYPE_PIPE);
}

// Wine (8) reports success but makes no link: only a link that shows as one counts.
bool makeSymlink(const std::string& target, const std::string& name) {
    if (!CreateSymbolicLinkA(name.c_str(), target.c_str(), 0)) return false;
    const DWORD attributes = GetFileAttributesA(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace slipdrv::testing
