// A serial control that records what the form does with it: every property
// set in order, the bytes written, and whether the port was open when each
// byte went out. The reply is what the test puts in `pending`.
// And a backend under the checked control that records which of its hooks
// ran and the line it was given.
#pragma once

#include <string>
#include <vector>

#include "checked_serial_control.h"
#include "serial_control.h"

namespace korvel::test {

struct ControlRecord {
    std::vector<std::string> calls;
    Bytes written;
    Bytes pending;  // bytes "received", handed over by Input
    bool open = false;
    std::vector<unsigned> pauses;
};

class FakeSerialControl final : public SerialControl {
public:
    explicit FakeSerialControl(ControlRecord& r) : r_(r) {}

    bool PortOpen() const override { return r_.open; }
    void PortOpen(bool open) override {
        r_.calls.push_back(open ? "PortOpen=true" : "PortOpen=false");
        r_.open = open;
    }
    void CommPort(std::int16_t port) override { r_.calls.push_back("CommPort=" + std::to_string(port)); }
    void Settings(const std::string& s) override { r_.calls.push_back("Settings=" + s); }
    void InputMode(std::int32_t m) override { r_.calls.push_back("InputMode=" + std::to_string(m)); }
    void DTREnable(bool e) override { r_.calls.push_back(e ? "DTREnable=true" : "DTREnable=false"); }
    void RThreshold(std::int16_t n) override { r_.calls.push_back("RThreshold=" + std::to_string(n)); }
    void SThreshold(std::int16_t n) override { r_.calls.push_back("SThreshold=" + std::to_string(n)); }
    void InputLen(std::int16_t n) override { r_.calls.push_back("InputLen=" + std::to_string(n)); }
    std::int16_t InBufferCount() const override { return static_cast<std::int16_t>(r_.pending.size()); }
    void InBufferCount(std::int16_t n) override { r_.calls.push_back("InBufferCount=" + std::to_string(n)); }
    void OutBufferCount(std::int16_t n) override { r_.calls.push_back("OutBufferCount=" + std::to_string(n)); }
    void Output(const Bytes& bytes) override {
        if (!r_.open || bytes.size() != 1) r_.calls.push_back("Output on a closed port or not one byte");
        r_.written.insert(r_.written.end(), bytes.begin(), bytes.end());
    }
    Bytes Input() override {
        r_.calls.push_back("Input");
        Bytes b;
        b.swap(r_.pending);
        return b;
    }

private:
    ControlRecord& r_;
};

class RecordingBackend final : public CheckedSerialControl {
public:
    std::vector<std::string> hooks;
    std::string line;  // the settings last applied, "baud,parity,data bits,stop bits"

private:
    bool isOpen() const override { return open_; }
    void openPort(std::int16_t port) override {
        hooks.push_back("openPort " + std::to_string(port));
        open_ = true;
        applySettings();
    }
    void closePort() override {
        hooks.push_back("closePort");
        open_ = false;
    }
    void applySettings() override {
        hooks.push_back("applySettings");
        const LineSettings& s = lineSettings();
        const char* stop = s.stopBits10 == 15 ? "1.5" : s.stopBits10 == 20 ? "2" : s.stopBits10 == 10 ? "1" : "?";
        line = std::to_string(s.baud) + "," + s.parity + "," + std::to_string(s.dataBits) + "," + stop;
    }
    void applyDtr() override { hooks.push_back("applyDtr"); }
    std::size_t waitingCount() const override { return 0; }
    void purgeInput() override { hooks.push_back("purgeInput"); }
    void purgeOutput() override { hooks.push_back("purgeOutput"); }
    void queueOutput(const Bytes&) override { hooks.push_back("queueOutput"); }
    Bytes readInput(std::size_t) override {
        hooks.push_back("readInput");
        return {};
    }

    bool open_ = false;
};

}  // namespace korvel::test
