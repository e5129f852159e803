// The form that holds the serial control and runs one exchange per call:
// set up COM1, normalise the digits, build the 17-byte write of four
// registers from 0x0100, send it byte by byte, pause 500 ms, and compare the
// first byte of the reply with the address. Errors are not trapped: they
// leave as KorvelError and the port stays as it was at that moment.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "serial_control.h"

namespace korvel {

class Form1 {
public:
    using Pause = std::function<void(unsigned milliseconds)>;

    Form1(std::unique_ptr<SerialControl> comm, Pause pause);

    // Returns 0 when the reply starts with the address, -1 when it starts
    // with another byte; `inputdata` is normalised in place.
    std::int16_t SendData(std::int16_t& inputAddr, std::u16string& inputdata);

    std::int16_t SetComDatXH(std::int16_t& Lenp, const std::array<std::uint8_t, 8>& data);
    void InitComm();
    void MakeCrc();

    SerialControl& myComm() { return *myComm_; }

    static constexpr unsigned kPauseMs = 500;

private:
    std::unique_ptr<SerialControl> myComm_;
    Pause pause_;
    // Cells 0 to 6 hold 16-bit integers, 7 to 16 bytes; each becomes one byte on the line.
    std::array<std::int32_t, 17> sendBuf_{};
};

// The calling thread's form (one per apartment), made on first use with the
// platform's control.
Form1& apartmentForm();

}  // namespace korvel
