// The list of ports a host can open now, as BPEnumPrinterPorts writes it: one
// port a line, each starting with a text that names it (port_name.h).
#pragma once

#include <span>
#include <string>
#include <vector>

namespace slipdrv {

// Writes `lines` into `buffer` (of `size` bytes), each ended by LF, then a
// zero. The number of lines; -1 with nothing written when `buffer` is null
// or the list and its zero do not fit.
int writePortList(std::span<const std::string> lines, char* buffer, int size);

}  // namespace slipdrv
