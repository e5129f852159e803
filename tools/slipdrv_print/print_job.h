// slipdrv-print from its arguments to its exit status.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace slipdrv_print {

constexpr int kExitPrinted = 0;
constexpr int kExitFailed = 1;  // the printer is not ready, or a call failed
constexpr int kExitUsage = 2;   // bad usage or a file that cannot be read: nothing sent

// Runs the program with the arguments after its name (UTF-8); reports go to
// `out` and `err`.
int runSlipdrvPrint(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace slipdrv_print
