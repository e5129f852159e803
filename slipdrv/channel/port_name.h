// The ports a host names by a text (BPOpenPrinterByName), and the values of
// SLIPDRV_COM<n> and SLIPDRV_LPT<n> that name a port of another kind than the
// variable's own. The letters of COM, LPT, tcp://, printer: and usb: may be
// of either case; a text with a blank at either end names nothing.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "com_port.h"

namespace slipdrv {

// COM1..COM10, optionally with :BAUD. The rate is not checked here (the open
// takes 2400-115200, as the open by number does); it is a decimal number
// that fits in 32 bits.
struct ComPortName {
    int port;
    int baud = 9600;

    bool operator==(const ComPortName&) const = default;
};

// LPT1 or LPT2.
struct LptPortName {
    int port;

    bool operator==(const LptPortName&) const = default;
};

// printer:NAME, a printer queue; an empty name is the system's default queue.
struct QueueName {
    std::string name;

    bool operator==(const QueueName&) const = default;
};

// usb:TEXT, a USB printer: the first one when TEXT is empty, else the one
// whose device path is TEXT, else the first whose IEEE 1284 device ID holds
// TEXT (see usb_printer.h). TEXT is kept as given.
struct UsbSelector {
    std::string text;

    bool operator==(const UsbSelector&) const = default;
};

using PortName = std::variant<ComPortName, LptPortName, TcpAddress, QueueName, UsbSelector>;

// What the text names; nothing when it names no port. Leading zeros in the
// port number (COM01) are refused, as is anything after LPT<n>.
std::optional<PortName> parsePortName(std::string_view text);

// A SLIPDRV_COM<n> or SLIPDRV_LPT<n> value that is none of our own: on Linux
// the device path of the variable's own kind of port, on Windows ignored.
struct OtherSetting {
    bool operator==(const OtherSetting&) const = default;
};

// A value that begins with tcp://, printer: or usb: but names no port (a
// tcp:// value without a port number): the open fails, it is not a path.
struct BadSetting {
    bool operator==(const BadSetting&) const = default;
};

using PortMapping = std::variant<OtherSetting, BadSetting, TcpAddress, QueueName, UsbSelector>;

// What the value of SLIPDRV_COM<n> or SLIPDRV_LPT<n> names. COM and LPT texts
// are not among them: such a value is OtherSetting.
PortMapping parsePortMapping(std::string_view value);

}  // namespace slipdrv
