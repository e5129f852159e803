// The calling convention of every export of the i686 slipdrv.dll as the
// machine sees it: each export, found by name and by ordinal, is called
// through a thunk that measures how many stack bytes it removed. A 32-bit host
// compiled against slipdrv.h pushes 4 bytes per argument and expects the
// callee to take them, except for the caller-cleans (cdecl) exports of the
// export table.
#include <gtest/gtest.h>
#include <windows.h>

#include <iterator>

#include "slipdrv.h"
#include "slipdrv_export_list.h"

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
    unsigned ordinal;
    unsigned arguments;  // as slipdrv.h declares it
    bool calleeCleans;
};
#define EXPORT_ROW(ordinal, name, calleeCleans) \
    {#name, ordinal, arity(static_cast<decltype(&name)>(nullptr)), calleeCleans},
constexpr Export kExports[] = {SLIPDRV_EXPORTS(EXPORT_ROW)};

TEST(CallingConvention, EveryExportRemovesItsArgumentsUnlessCallerCleans) {
    const HMODULE module = LoadLibraryA("slipdrv.dll");
    ASSERT_NE(module, nullptr);
    // With no port open, zeros are refused or harmless for every export: nothing
    // reaches a printer, and the call returns at once.
    const unsigned zeros[8] = {};
    for (const Export& e : kExports) {
        ASSERT_LE(e.arguments, std::size(zeros)) << e.name;
        const unsigned expected = e.calleeCleans ? 4 * e.arguments : 0;
        const struct {
            const char* how;
            FARPROC address;
        } bindings[] = {{"by name", GetProcAddress(module, e.name)},
                        {"by ordinal", GetProcAddress(module, MAKEINTRESOURCEA(e.ordinal))}};
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
