// A library whose printer queue has a job open (its watcher thread alive) is
// unloaded, or its process ends: neither may hang, and an unload still hands
// the job on. Run with --exit-while-printing, the program is the process
// that ends with the job open.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace {

using Print = int (*)(void (*)());

std::atomic<int> jobsEnded{0};
void countEnd() { ++jobsEnded; }

Print loadProbe(HMODULE& module) {
    module = LoadLibraryA(QUEUE_UNLOAD_PROBE);
    if (!module) return nullptr;
    return reinterpret_cast<Print>(reinterpret_cast<void*>(GetProcAddress(module, "probe_print")));
}

TEST(QueueUnload, UnloadingWithAJobOpenHandsItOnAndReturns) {
    HMODULE module = nullptr;
    const Print print = loadProbe(module);
    ASSERT_NE(print, nullptr) << GetLastError();
    ASSERT_EQ(print(&countEnd), 1);
    ASSERT_EQ(jobsEnded, 0);

    std::atomic<bool> unloaded{false};
    std::thread unloading([&] {
        FreeLibrary(module);
        unloaded = true;
    });
    const auto start = std::chrono::steady_clock::now();
    while (!unloaded && std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) Sleep(10);
    if (!unloaded) {
        unloading.detach();
        FAIL() << "FreeLibrary did not return";
    }
    unloading.join();
    EXPECT_EQ(jobsEnded, 1);
}

TEST(QueueUnload, TheProcessEndsWithAJobOpen) {
    char self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    std::string command = std::string("\"") + self + "\" --exit-while-printing";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(
        CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    const DWORD waited = WaitForSingleObject(process.hProcess, 10000);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 9);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_EQ(waited, WAIT_OBJECT_0) << "the process did not end";
    EXPECT_EQ(code, 0u);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--exit-while-printing") == 0) {
        HMODULE module = nullptr;
        const Print print = loadProbe(module);
        // The process ends here, from main's return, with the job open.
        return print && print(&countEnd) == 1 ? 0 : 1;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
