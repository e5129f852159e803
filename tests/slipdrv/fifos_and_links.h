// FIFOs and symbolic links for the bit-image tests, made in the current directory.
#pragma once

#include <string>

namespace slipdrv::testing {

// Makes a FIFO named `name` in place of any file of that name; false where
// the system has none (Windows itself; under Wine the FIFO is made on the
// Linux side, and Wine shows it as a file).
bool makeFifo(const std::string& name);
// Makes `name` a symbolic link to `target`; false where that cannot be done
// or a link would not be seen as one (Wine shows a Linux link as its target).
bool makeSymlink(const std::string& target, const std::string& name);
// Removes the file `name`, whatever it is, if it is there.
void removeFile(const std::string& name);

}  // namespace slipdrv::testing
