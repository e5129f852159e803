// Unloading libslipdrv.so while a COM port is open: the library closes the
// port as it goes; a host callback still running then holds the unload until
// it has returned, since the code it returns to must stay mapped.
#include <dlfcn.h>

#include <atomic>
#include <thread>

#include "printer_fixture.h"
#include "slipdrv.h"

namespace slipdrv {
namespace {

using namespace testing;
using Clock = std::chrono::steady_clock;

std::atomic<int> calls{0}, returned{0};
std::atomic<int> blockMs{0};
// An export the callback calls once it has blocked: the library it reaches
// must still be whole while the unload waits for the callback.
std::atomic<int (*)(const char*)> thenPrint{nullptr};
void SLIPDRV_CALL hostCallback(int) {
    ++calls;
    std::this_thread::sleep_for(std::chrono::milliseconds(blockMs.load()));
    if (const auto print = thenPrint.load()) print("x");
    ++returned;
}

class UnloadTest : public PrinterTest {};

TEST_F(UnloadTest, UnloadingWithAPortOpenClosesIt) {
    auto& printer = com(1);
    // 2500 ms: longer than Close waits, so the unload has to keep the code loaded.
    for (const auto& [block, printing] : {std::pair{0, false}, {2500, false}, {2500, true}}) {
        calls = returned = 0;
        blockMs = block;
        const int descriptorsBefore = openDescriptors();
        void* library = dlopen(SLIPDRV_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        const auto open = reinterpret_cast<int (*)(int, int)>(dlsym(library, "BPOpenPrinter"));
        const auto setCallback = reinterpret_cast<int (*)(BPStatusCallback)>(dlsym(library, "BPSetCallBackFunc"));
        const auto enable = reinterpret_cast<int (*)(int)>(dlsym(library, "BPEnableCallBackFunc"));
        const auto print = reinterpret_cast<int (*)(const char*)>(dlsym(library, "BPPrintString"));
        ASSERT_TRUE(open && setCallback && enable && print);
        thenPrint = printing ? print : nullptr;
        ASSERT_EQ(setCallback(hostCallback), 0);
        enable(1);
        ASSERT_EQ(open(1, 9600), 0);
        printer.send({0x12, 0x34});
        const auto start = Clock::now();
        while (calls == 0 && Clock::now() - start < 3s) std::this_thread::sleep_for(1ms);
        ASSERT_GE(calls.load(), 1) << "block " << block;

        EXPECT_EQ(dlclose(library), 0);
        EXPECT_EQ(returned.load(), calls.load()) << "block " << block << ": unloaded with a callback still running";
        EXPECT_EQ(dlopen(SLIPDRV_LIBRARY, RTLD_NOW | RTLD_NOLOAD), nullptr) << "block " << block;
        EXPECT_EQ(openDescriptors(), descriptorsBefore) << "block " << block << ": the port and its wake-up are closed";
    }
}

}  // namespace
}  // namespace slipdrv
