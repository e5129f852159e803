// Virtual printers on pseudo-terminals, handed to the library through the
// SLIPDRV_COM<n> and SLIPDRV_LPT<n> variables, and a clean library state.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "port_control.h"
#include "recording_channel.h"
#include "virtual_printer.h"

namespace slipdrv::testing {

using namespace std::chrono_literals;

inline Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// The descriptors this process holds open.
inline int openDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir)) ++count;
        closedir(dir);
    }
    return count;
}

class PrinterTest : public ::testing::Test {
protected:
    void TearDown() override {
        resetLibrary();
        for (const auto& [name, printer] : printers_) unsetenv(name.c_str());
    }

    // A printer attached as COM<port>.
    vprinter::VirtualPrinter& com(int port) { return attach("SLIPDRV_COM" + std::to_string(port)); }
    // A printer attached as LPT<port>.
    vprinter::VirtualPrinter& lpt(int port) { return attach("SLIPDRV_LPT" + std::to_string(port)); }
    // COM<port> or LPT<port> pointing at a device that does not exist.
    void missing(const std::string& variable) {
        setenv(variable.c_str(), "/nonexistent/slipdrv-device", 1);
        printers_[variable] = nullptr;
    }

private:
    vprinter::VirtualPrinter& attach(const std::string& variable) {
        auto& printer = printers_[variable];
        printer = std::make_unique<vprinter::VirtualPrinter>();
        setenv(variable.c_str(), printer->devicePath().c_str(), 1);
        return *printer;
    }

    std::map<std::string, std::unique_ptr<vprinter::VirtualPrinter>> printers_;
};

}  // namespace slipdrv::testing
