// Virtual printers on pseudo-terminals or behind TCP ports, handed to the
// library through the SLIPDRV_COM<n> and SLIPDRV_LPT<n> variables, and a
// clean library state.
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
    // A network printer on 127.0.0.1 attached as COM<port> (tcp://127.0.0.1:N).
    vprinter::VirtualPrinter& network(int port) {
        const std::string variable = "SLIPDRV_COM" + std::to_string(port);
        auto& printer = printers_[variable];
        printer = std::make_unique<vprinter::VirtualPrinter>(vprinter::VirtualPrinter::TcpPort{});
        setting(variable, "tcp://127.0.0.1:" + std::to_string(printer->tcpPort()));
        return *printer;
    }
    // COM<port> or LPT<port> pointing at a device that does not exist.
    void missing(const std::string& variable) { setting(variable, "/nonexistent/slipdrv-device"); }
    // Sets the variable to `value` until the test ends (a printer attached to it stays).
    void setting(const std::string& variable, const std::string& value) {
        setenv(variable.c_str(), value.c_str(), 1);
        printers_.try_emplace(variable);
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
