// Korvel's core: the digit text through the form to the 17 bytes on the line
// (checked against a frame built here from the text), the Settings text, and
// property sequences on the checked serial control, whose backend hooks must
// only run as its header promises.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "checked_serial_control.h"
#include "form1.h"
#include "frame.h"
#include "fuzz_input.h"
#include "korvel/fake_serial_control.h"
#include "korvel_error.h"
#include "line_settings.h"

namespace {

using kit::fuzz::FuzzInput;
using korvel::Bytes;
using korvel::KorvelError;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "korvel harness: %s\n", what);
    std::abort();
}

// CRC-16 of Modbus RTU, bit by bit on a 16-bit register.
std::uint16_t modbusCrc(const Bytes& bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t b : bytes) {
        crc ^= b;
        for (int i = 0; i < 8; ++i) crc = (crc & 1) ? static_cast<std::uint16_t>(crc >> 1 ^ 0xA001) : crc >> 1;
    }
    return crc;
}

// The error number SendData must raise, or 0 with the frame it must send:
// eight groups of eight characters, each worth twice the group so far plus
// its digit, padded with "0" to 64 characters.
int expectedFrame(int address, const std::u16string& text, bool replies, Bytes& frame) {
    if (text.size() > 32767) return korvel::kErrOverflow;
    std::u16string digits = text.substr(0, 64);
    digits.resize(64, u'0');
    frame = {0, 0x10, 0x01, 0x00, 0x00, 0x04, 0x08};
    for (int group = 0; group < 8; ++group) {
        int value = 0;
        for (int i = 0; i < 8; ++i) {
            const char16_t c = digits[8 * group + i];
            value = 2 * value + (c >= u'0' && c <= u'9' ? c - u'0' : 0);
        }
        if (value > 255) return korvel::kErrOverflow;
        frame.push_back(static_cast<std::uint8_t>(value));
    }
    if (address < 0 || address > 255) return korvel::kErrOverflow;
    frame[0] = static_cast<std::uint8_t>(address);
    const std::uint16_t crc = modbusCrc(frame);
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return replies ? 0 : korvel::kErrSubscript;
}

void sendData(FuzzInput& in) {
    const auto address = static_cast<std::int16_t>(in.u16());
    const Bytes reply = in.counted();
    const Bytes rest = in.rest();
    std::u16string text;
    for (std::size_t i = 0; i + 1 < rest.size(); i += 2)
        text.push_back(static_cast<char16_t>(rest[i] | rest[i + 1] << 8));

    korvel::test::ControlRecord record;
    korvel::Form1 form(std::make_unique<korvel::test::FakeSerialControl>(record),
                       [&](unsigned) { record.pending = reply; });
    std::int16_t a = address;
    std::u16string datas = text;
    int error = 0, result = 0;
    try {
        result = form.SendData(a, datas);
    } catch (const KorvelError& e) {
        error = e.number();
    }
    Bytes frame;
    const int expected = expectedFrame(address, text, !reply.empty(), frame);
    if (error != expected) fail("SendData raised the wrong error");
    if (expected == korvel::kErrOverflow && !record.written.empty()) fail("a frame went out before its overflow");
    if (expected == 0 || expected == korvel::kErrSubscript) {
        if (record.written != frame) fail("the frame on the line is not the one the text gives");
        if (record.open) fail("the port stayed open after the exchange");
        if (datas.size() != 64) fail("the digit text was not normalised in place");
    }
    if (expected == 0 && result != (reply[0] == frame[0] ? 0 : -1)) fail("the reply was judged wrongly");
}

void settings(FuzzInput& in) {
    const Bytes bytes = in.rest();
    const std::string text(bytes.begin(), bytes.end());
    korvel::LineSettings s;
    try {
        s = korvel::parseLineSettings(text);
    } catch (const KorvelError& e) {
        if (e.number() != korvel::kErrInvalidProperty) fail("a Settings text raised an error other than 380");
        return;
    }
    const bool valid =
        s.baud >= 110 && s.baud <= 256000 && std::string("neoms").find(s.parity) != std::string::npos &&
        s.dataBits >= 5 && s.dataBits <= 8 &&
        (s.stopBits10 == 10 || (s.stopBits10 == 15 && s.dataBits == 5) || (s.stopBits10 == 20 && s.dataBits != 5));
    if (!valid) fail("a Settings text was accepted with line settings no line has");
    const char* stop = s.stopBits10 == 10 ? "1" : s.stopBits10 == 15 ? "1.5" : "2";
    const std::string again = std::to_string(s.baud) + "," + s.parity + "," + std::to_string(s.dataBits) + "," + stop;
    const auto t = korvel::parseLineSettings(again);
    if (t.baud != s.baud || t.parity != s.parity || t.dataBits != s.dataBits || t.stopBits10 != s.stopBits10)
        fail("accepted line settings do not read back the same");
}

// A backend that fails when a hook other than open or close runs on a closed port.
class WatchingBackend final : public korvel::CheckedSerialControl {
private:
    bool isOpen() const override { return open_; }
    void openPort(std::int16_t port) override {
        if (port < 1 || port > 16) fail("a port outside 1 to 16 was opened");
        open_ = true;
    }
    void closePort() override { open_ = false; }
    void applySettings() override { requireOpen(); }
    void applyDtr() override { requireOpen(); }
    std::size_t waitingCount() const override {
        requireOpen();
        return waiting_;
    }
    void purgeInput() override {
        requireOpen();
        waiting_ = 0;
    }
    void purgeOutput() override { requireOpen(); }
    // What goes out comes back, as on a looped-back line.
    void queueOutput(const Bytes& bytes) override {
        requireOpen();
        waiting_ += bytes.size();
    }
    Bytes readInput(std::size_t most) override {
        requireOpen();
        const std::size_t n = std::min(most, waiting_);
        waiting_ -= n;
        return Bytes(n, 0x55);
    }
    void requireOpen() const {
        if (!open_) fail("a backend hook ran on a closed port");
    }

    bool open_ = false;
    std::size_t waiting_ = 0;
};

void properties(FuzzInput& in) {
    WatchingBackend control;
    korvel::SerialControl& c = control;
    while (!in.empty()) {
        const std::uint8_t op = in.byte();
        const auto value = static_cast<std::int16_t>(in.integer());
        try {
            switch (op % 13) {
                case 0:
                    c.PortOpen(value & 1);
                    break;
                case 1:
                    c.CommPort(value);
                    break;
                case 2: {
                    const Bytes text = in.counted();
                    c.Settings(std::string(text.begin(), text.end()));
                    break;
                }
                case 3:
                    c.InputMode(value);
                    break;
                case 4:
                    c.DTREnable(value & 1);
                    break;
                case 5:
                    c.RThreshold(value);
                    break;
                case 6:
                    c.SThreshold(value);
                    break;
                case 7:
                    c.InputLen(value);
                    break;
                case 8:
                    if (c.InBufferCount() < 0) fail("a negative count of waiting bytes");
                    break;
                case 9:
                    c.InBufferCount(value);
                    break;
                case 10:
                    c.OutBufferCount(value);
                    break;
                case 11:
                    c.Output(Bytes(static_cast<std::size_t>(value & 0xFF), 0xAA));
                    break;
                default:
                    c.Input();
                    break;
            }
        } catch (const KorvelError& e) {
            const int n = e.number();
            if (n != korvel::kErrInvalidProperty && n != korvel::kErrInvalidPort && n != korvel::kErrPortOpen &&
                n != korvel::kErrPortNotOpen)
                fail("a property raised an error the control does not have");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    switch (in.byte() % 3) {
        case 0:
            sendData(in);
            break;
        case 1:
            settings(in);
            break;
        default:
            properties(in);
            break;
    }
    return 0;
}
