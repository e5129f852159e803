// The calling convention of every export of the i686 slipdrv.dll as the
// machine sees it: each export, found by name and by ordinal, is called
// through a thunk that measures how many stack bytes it removed. A 32-bit host
// compiled against slipdrv.h pushes 4 bytes per argument and expects the
// callee to take them, except for the two caller-cleans exports.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <iterator>

#include "export_list.h"
#include "slipdrv.h"

extern "C" unsigned call_measuring_pop(const void* function, const unsigned* arguments, unsigned count, int* result);

namespace {

template <typename R, typename... A>
constexpr unsigned arity(R(__stdcall*)(A...)) {
    return sizeof...(A);
}
template <typename R, typename... A>
constexpr unsigned arity(R(__cdecl*)(A...)) {
    return sizeof...(A);
}

struct Export {
    const char* name;
    unsigned arguments;  // as slipdrv.h declares it
};
#define EXPORT_ROW(name) {#name, arity(static_cast<decltype(&name)>(nullptr))},
constexpr Export kExports[] = {SLIPDRV_EXPORTS(EXPORT_ROW)};

bool callerCleans(const char* name) {
    return std::strcmp(name, "BPSetAbsoluPrintPosition") == 0 || std::strcmp(name, "BPPageAbsoluVerticalPosition") == 0;
}

TEST(CallingConvention, EveryExportRemovesItsArgumentsUnlessCallerCleans) {
    const HMODULE module = LoadLibraryA("slipdrv.dll");
    ASSERT_NE(module, nullptr);
    ASSERT_EQ(std::size(kExports), 80u);
    // With no port open, zeros are refused or harmless for every export: nothing
    // reaches a printer, and the call returns at once.
    const unsigned zeros[8] = {};
    for (std::size_t i = 0; i < std::size(kExports); ++i) {
        const Export& e = kExports[i];
        ASSERT_LE(e.arguments, std::size(zeros)) << e.name;
        const unsigned expected = callerCleans(e.name) ? 0 : 4 * e.arguments;
        const struct {
            const char* how;
            FARPROC address;
        } bindings[] = {{"by name", GetProcAddress(module, e.name)},
                        {"by ordinal", GetProcAddress(module, MAKEINTRESOURCEA(i + 1))}};
        for (const auto& b : bindings) {
            ASSERT_NE(b.address, nullptr) << e.name << " " << b.how;
            int result = 1;
            EXPECT_EQ(call_measuring_pop(reinterpret_cast<const void*>(b.address), zeros, e.arguments, &result),
                      expected)
                << e.name << " " << b.how << ", " << e.arguments << " arguments";
            EXPECT_TRUE(result == 0 || result == -1) << e.name << " " << b.how << " returned " << result;
        }
    }
}

}  // namespace
