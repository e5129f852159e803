// Ports named by text, and the list of the ports that can be opened now.
#include <cstring>
#include <string>
#include <variant>
#include <vector>

#include "channel/com_port.h"
#include "channel/port_list.h"
#include "channel/port_name.h"
#include "channel/printer_queue.h"
#include "channel/usb_printer.h"
#include "port_control.h"
#include "slipdrv.h"

namespace slipdrv {
namespace {

// Longer than any port's text can sensibly be (a queue's name included): a
// text must end with its zero within this many bytes, or it is refused (the
// host's buffer is read no further than that).
constexpr std::size_t kMostPortTextBytes = 4096;

// COM and LPT ports whose device exists, or whose variable names a printer
// of another kind.
void addNumberedPorts(const char* kind, int last, std::vector<std::string>& lines) {
    for (int port = 1; port <= last; ++port) {
        const auto mapping = parsePortMapping(portSetting(kind, port));
        const bool mapped =
            !std::holds_alternative<OtherSetting>(mapping) && !std::holds_alternative<BadSetting>(mapping);
        if (mapped || portDevicePresent(kind, port)) lines.push_back(kind + std::to_string(port));
    }
}

std::vector<std::string> portLines() {
    std::vector<std::string> lines;
    addNumberedPorts("COM", 10, lines);
    addNumberedPorts("LPT", 2, lines);
    if (const auto spooler = systemSpooler()) {
        for (auto& line : printerQueuePorts(*spooler)) lines.push_back(std::move(line));
    }
    std::vector<UsbPrinter> usb;
    {
        const auto lock = exclusiveUse();
        if (!library().usbPrinters) library().usbPrinters = makeUsbPrinterList();
        usb = library().usbPrinters->list();
    }
    for (const auto& printer : usb) lines.push_back("usb:" + printer.path + "\t" + printer.deviceId);
    return lines;
}

}  // namespace
}  // namespace slipdrv

using namespace slipdrv;

extern "C" {

int SLIPDRV_CALL BPOpenPrinterByName(const char* port) {
    if (!port) return -1;
    return exportResult([&] {
        const std::size_t length = strnlen(port, kMostPortTextBytes + 1);
        if (length > kMostPortTextBytes) return -1;
        const auto name = parsePortName({port, length});
        if (!name) return -1;
        if (const auto* com = std::get_if<ComPortName>(&*name)) {
            // A rate the open by number would refuse makes the text refused:
            // nothing changes, not even the kind of port that is active.
            if (com->baud < kLowestBaud || com->baud > kHighestBaud) return -1;
            return BPOpenPrinter(com->port, com->baud);
        }
        if (const auto* lpt = std::get_if<LptPortName>(&*name)) return BPOpenPrinter(10 + lpt->port, 0);
        std::variant<TcpAddress, QueueName, UsbSelector> target;
        if (const auto* address = std::get_if<TcpAddress>(&*name)) target = *address;
        if (const auto* queue = std::get_if<QueueName>(&*name)) target = *queue;
        if (const auto* usb = std::get_if<UsbSelector>(&*name)) target = *usb;
        const auto lock = exclusiveUse();
        library().chineseMode = ChineseMode::kUnknown;
        return openMappedPort(library().named, target) ? 0 : -1;
    });
}

int SLIPDRV_CALL BPEnumPrinterPorts(char* buffer, int size) {
    if (!buffer || size <= 0) return -1;
    return exportResult([&] { return writePortList(portLines(), buffer, size); });
}

}  // extern "C"
