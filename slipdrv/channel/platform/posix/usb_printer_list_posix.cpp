// USB printers on Linux: the usblp driver's /dev/usb/lp<n> nodes. The driver
// publishes each printer's device ID in sysfs, so listing opens no device (a
// printer in use by another program is still listed, and nothing is sent).
#include "usb_printer_list_posix.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <tuple>
#include <utility>

namespace slipdrv {
namespace {

// The kernel's usblp driver keeps at most 1 KiB of a device ID.
constexpr std::size_t kDeviceIdLimit = 4096;

// The number of an lp<n> name; nothing for any other name.
std::optional<unsigned> lpNumber(const std::string& name) {
    if (name.size() < 3 || !name.starts_with("lp")) return std::nullopt;
    unsigned n = 0;
    const char* end = name.data() + name.size();
    const auto [stop, error] = std::from_chars(name.data() + 2, end, n);
    if (error != std::errc{} || stop != end) return std::nullopt;
    return n;
}

// The file's content without its trailing newlines; empty when it cannot be read.
std::string readDeviceId(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return {};
    std::string id(kDeviceIdLimit, '\0');
    in.read(id.data(), static_cast<std::streamsize>(id.size()));
    id.resize(static_cast<std::size_t>(in.gcount()));
    while (!id.empty() && (id.back() == '\n' || id.back() == '\r')) id.pop_back();
    return id;
}

class PosixUsbPrinterList final : public UsbPrinterList {
public:
    explicit PosixUsbPrinterList(std::string root) : root_(std::move(root)) {}

    std::vector<UsbPrinter> list() override {
        std::vector<std::pair<unsigned, UsbPrinter>> found;
        std::error_code error;
        const std::filesystem::path devices = root_ / "dev/usb";
        for (std::filesystem::directory_iterator it(devices, error), end; !error && it != end; it.increment(error)) {
            const std::string name = it->path().filename().string();
            const auto number = lpNumber(name);
            if (!number) continue;
            const auto idFile = root_ / "sys/class/usbmisc" / name / "device/ieee1284_id";
            found.push_back({*number, {it->path().string(), readDeviceId(idFile)}});
        }
        std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
            return std::tie(a.first, a.second.path) < std::tie(b.first, b.second.path);
        });
        std::vector<UsbPrinter> printers;
        printers.reserve(found.size());
        std::ranges::transform(found, std::back_inserter(printers),
                               [](auto& entry) { return std::move(entry.second); });
        return printers;
    }

private:
    std::filesystem::path root_;
};

}  // namespace

std::unique_ptr<UsbPrinterList> makeUsbPrinterList(const std::string& root) {
    return std::make_unique<PosixUsbPrinterList>(root);
}

std::unique_ptr<UsbPrinterList> makeUsbPrinterList() { return makeUsbPrinterList("/"); }

}  // namespace slipdrv
