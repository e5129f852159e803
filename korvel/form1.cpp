#include "form1.h"

#include <utility>

#include "frame.h"
#include "korvel_error.h"

namespace korvel {

Form1::Form1(std::unique_ptr<SerialControl> comm, Pause pause) : myComm_(std::move(comm)), pause_(std::move(pause)) {}

void Form1::InitComm() {
    SerialControl& c = *myComm_;
    if (c.PortOpen()) c.PortOpen(false);
    c.CommPort(1);
    c.Settings("1200,n,8,1");
    c.InputMode(1);  // received data as byte arrays
    c.DTREnable(true);
    c.RThreshold(1);
    c.SThreshold(1);
    c.InputLen(0);  // a read of Input takes everything buffered
    c.InBufferCount(0);
    c.OutBufferCount(0);
    c.PortOpen(true);
}

std::int16_t Form1::SendData(std::int16_t& inputAddr, std::u16string& inputdata) {
    InitComm();
    inputdata = normaliseDigits(inputdata);
    std::array<std::uint8_t, 8> data{};
    for (std::size_t k = 0; k < data.size(); ++k) data[k] = toByte(BinToNum(inputdata.substr(8 * k, 8)));
    std::int16_t address = inputAddr;
    return SetComDatXH(address, data);
}

std::int16_t Form1::SetComDatXH(std::int16_t& Lenp, const std::array<std::uint8_t, 8>& data) {
    sendBuf_ = {};
    myComm_->Input();  // drops whatever arrived since the port opened
    const std::int32_t header[7] = {Lenp, 0x10, 0x01, 0x00, 0x00, 0x04, 0x08};
    for (int i = 0; i < 7; ++i) sendBuf_[i] = header[i];
    for (std::size_t i = 0; i < data.size(); ++i) sendBuf_[7 + i] = data[i];
    MakeCrc();  // an address outside 0 to 255 overflows here, before any byte is sent
    for (std::int32_t cell : sendBuf_) myComm_->Output(Bytes{toByte(cell)});
    // A plain pause, not a read time-out: the device's reply must be over
    // before the next frame may go out on a shared line.
    pause_(kPauseMs);
    Bytes reply;
    if (myComm_->InBufferCount() != 0) reply = myComm_->Input();
    if (myComm_->PortOpen()) myComm_->PortOpen(false);
    if (reply.empty()) raiseSubscript();
    return reply[0] == sendBuf_[0] ? 0 : -1;
}

void Form1::MakeCrc() {
    Crc crc;
    for (std::size_t i = 0; i + 2 < sendBuf_.size(); ++i) crc.add(toByte(sendBuf_[i]));
    sendBuf_[15] = crc.low;
    sendBuf_[16] = crc.high;
}

}  // namespace korvel
