// The sender's core against a recording serial control: the frames byte for
// byte, the CRC, the digit text, the data bytes, the errors and the state
// of the port each leaves behind.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "fake_serial_control.h"
#include "form1.h"
#include "frame.h"
#include "korvel_error.h"
#include "line_settings.h"

namespace korvel::test {
namespace {

std::u16string repeat(char16_t c, std::size_t n) { return std::u16string(n, c); }

struct Rig {
    ControlRecord record;
    Form1 form{std::make_unique<FakeSerialControl>(record), [this](unsigned ms) {
                   record.pauses.push_back(ms);
                   record.pending = reply;  // the device answers during the pause
               }};
    Bytes reply{0x01, 0x10, 0x01, 0x00, 0x00, 0x04, 0x40, 0x34};
};

int errorNumber(const std::function<void()>& call) {
    try {
        call();
    } catch (const KorvelError& e) {
        return e.number();
    }
    return 0;
}

TEST(KorvelCrc, CheckValueOfTheNineDigits) {
    const std::string text = "123456789";
    EXPECT_EQ(crc16(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), 0x4B37);
}

struct FrameCase {
    const char* name;
    std::int16_t address;
    std::u16string digits;
    Bytes frame;
};

// Cases print as their names in test listings, not as raw bytes.
void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.name; }
class KorvelFrame : public ::testing::TestWithParam<FrameCase> {};

TEST_P(KorvelFrame, SendsTheSeventeenBytes) {
    const FrameCase& c = GetParam();
    Rig rig;
    rig.reply[0] = static_cast<std::uint8_t>(c.address);
    std::int16_t a = c.address;
    std::u16string datas = c.digits;
    EXPECT_EQ(rig.form.SendData(a, datas), 0);
    EXPECT_EQ(rig.record.written, c.frame);
    EXPECT_EQ(a, c.address);
}

const Bytes kHeader{0x01, 0x10, 0x01, 0x00, 0x00, 0x04, 0x08};
Bytes frameOf(std::uint8_t address, Bytes data, std::uint8_t crcLow, std::uint8_t crcHigh) {
    Bytes f = kHeader;
    f[0] = address;
    f.insert(f.end(), data.begin(), data.end());
    f.push_back(crcLow);
    f.push_back(crcHigh);
    return f;
}

// A frame whose CRC comes from crc16, which the check value and the three
// frames written out in full pin down.
Bytes frameOf(std::uint8_t address, Bytes data) {
    Bytes f = frameOf(address, std::move(data), 0, 0);
    f.resize(15);
    const std::uint16_t crc = crc16(f.data(), f.size());
    f.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    f.push_back(static_cast<std::uint8_t>(crc >> 8));
    return f;
}

INSTANTIATE_TEST_SUITE_P(
    Frames, KorvelFrame,
    ::testing::Values(
        FrameCase{"AllZero", 1, repeat(u'0', 64), frameOf(1, Bytes(8, 0x00), 0xB4, 0xFB)},
        FrameCase{"AllOne", 1, repeat(u'1', 64), frameOf(1, Bytes(8, 0xFF), 0xF5, 0x7F)},
        FrameCase{"FirstBitOnly", 1, u"1" + repeat(u'0', 63), frameOf(1, {0x80, 0, 0, 0, 0, 0, 0, 0}, 0xBC, 0x9B)},
        FrameCase{"ShortTextPadded", 1, u"1", frameOf(1, {0x80, 0, 0, 0, 0, 0, 0, 0}, 0xBC, 0x9B)},
        FrameCase{"EmptyText", 1, u"", frameOf(1, Bytes(8, 0x00), 0xB4, 0xFB)},
        FrameCase{"LongTextCut", 1, repeat(u'0', 64) + u"111111", frameOf(1, Bytes(8, 0x00), 0xB4, 0xFB)},
        FrameCase{"LettersAndBlanksAreZero", 1, u"1a1 1x1" + std::u16string(1, u'\u53c1') + repeat(u'0', 56),
                  frameOf(1, {0xAA, 0, 0, 0, 0, 0, 0, 0})},
        FrameCase{"DigitTwoInLowestBit", 1, u"00000002" + repeat(u'0', 56), frameOf(1, {2, 0, 0, 0, 0, 0, 0, 0})},
        FrameCase{"LastGroup", 1, repeat(u'0', 56) + u"00000001", frameOf(1, {0, 0, 0, 0, 0, 0, 0, 1})},
        FrameCase{"AddressZero", 0, repeat(u'0', 64), frameOf(0, Bytes(8, 0x00))},
        FrameCase{"Address255", 255, repeat(u'1', 64), frameOf(255, Bytes(8, 0xFF))}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KorvelForm, SetsUpThePortInOrderThenSendsPausesAndCloses) {
    Rig rig;
    std::int16_t a = 1;
    std::u16string datas = repeat(u'0', 64);
    rig.form.SendData(a, datas);
    const std::vector<std::string> expected{
        "CommPort=1", "Settings=1200,n,8,1", "InputMode=1", "DTREnable=true", "RThreshold=1", "SThreshold=1",
        "InputLen=0", "InBufferCount=0", "OutBufferCount=0", "PortOpen=true",
        "Input",  // thrown away before the frame
        "Input",  // the reply, after the pause
        "PortOpen=false"};
    EXPECT_EQ(rig.record.calls, expected);
    EXPECT_EQ(rig.record.pauses, std::vector<unsigned>{500});
    EXPECT_FALSE(rig.record.open);
}

TEST(KorvelForm, ClosesAPortLeftOpenBeforeSettingItUp) {
    Rig rig;
    rig.record.open = true;
    std::int16_t a = 1;
    std::u16string datas;
    rig.form.SendData(a, datas);
    ASSERT_GE(rig.record.calls.size(), 2u);
    EXPECT_EQ(rig.record.calls[0], "PortOpen=false");
    EXPECT_EQ(rig.record.calls[1], "CommPort=1");
}

TEST(KorvelForm, DropsBytesThatArrivedBeforeTheFrame) {
    Rig rig;
    rig.record.pending = {0x01};  // stale: would match the address
    rig.reply = {0x02};
    std::int16_t a = 1;
    std::u16string datas;
    EXPECT_EQ(rig.form.SendData(a, datas), -1);
}

struct ReplyCase {
    const char* name;
    Bytes reply;
    int result;
};
void PrintTo(const ReplyCase& c, std::ostream* os) { *os << c.name; }
class KorvelReply : public ::testing::TestWithParam<ReplyCase> {};
TEST_P(KorvelReply, OnlyTheFirstByteCounts) {
    Rig rig;
    rig.reply = GetParam().reply;
    std::int16_t a = 7;
    std::u16string datas;
    EXPECT_EQ(rig.form.SendData(a, datas), GetParam().result);
    EXPECT_FALSE(rig.record.open);
}
INSTANTIATE_TEST_SUITE_P(Replies, KorvelReply,
                         ::testing::Values(ReplyCase{"Echo", {7, 0x10, 1, 0, 0, 4, 0xC1, 0x2F}, 0},
                                           ReplyCase{"ExceptionReply", {7, 0x90, 2, 0, 0}, 0},
                                           ReplyCase{"OneByte", {7}, 0},
                                           ReplyCase{"OtherAddress", {8, 0x10, 1, 0, 0, 4}, -1},
                                           ReplyCase{"Noise", {0x00}, -1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(KorvelForm, NoReplyIsIndexErrorAfterThePortIsClosed) {
    Rig rig;
    rig.reply.clear();
    std::int16_t a = 1;
    std::u16string datas = u"1";
    EXPECT_EQ(errorNumber([&] { rig.form.SendData(a, datas); }), kErrSubscript);
    EXPECT_FALSE(rig.record.open);
    EXPECT_EQ(rig.record.written.size(), 17u);
    EXPECT_EQ(datas, u"1" + repeat(u'0', 63));  // normalised before the failure
}

struct OverflowCase {
    const char* name;
    std::int16_t address;
    std::u16string digits;
    std::u16string handedBack;  // what `datas` holds after the error
};
void PrintTo(const OverflowCase& c, std::ostream* os) { *os << c.name; }
class KorvelOverflow : public ::testing::TestWithParam<OverflowCase> {};
TEST_P(KorvelOverflow, FailsBeforeAnyByteAndLeavesThePortOpen) {
    const OverflowCase& c = GetParam();
    Rig rig;
    std::int16_t a = c.address;
    std::u16string datas = c.digits;
    EXPECT_EQ(errorNumber([&] { rig.form.SendData(a, datas); }), kErrOverflow);
    EXPECT_TRUE(rig.record.written.empty());
    EXPECT_TRUE(rig.record.open);
    EXPECT_TRUE(rig.record.pauses.empty());
    EXPECT_EQ(a, c.address);
    EXPECT_EQ(datas, c.handedBack);

    // The next call closes the port, sets it up again and works.
    a = 1;
    datas = repeat(u'0', 64);
    EXPECT_EQ(rig.form.SendData(a, datas), 0);
    EXPECT_EQ(rig.record.written, frameOf(1, Bytes(8, 0), 0xB4, 0xFB));
}
INSTANTIATE_TEST_SUITE_P(
    Errors, KorvelOverflow,
    ::testing::Values(OverflowCase{"Address256", 256, u"1", u"1" + repeat(u'0', 63)},
                      OverflowCase{"AddressMinus1", -1, u"1", u"1" + repeat(u'0', 63)},
                      OverflowCase{"AddressMax", 32767, u"", repeat(u'0', 64)},
                      OverflowCase{"GroupOver255", 1, u"20000000", u"20000000" + repeat(u'0', 56)},
                      OverflowCase{"NinesInLastGroup", 1, repeat(u'0', 56) + u"99999999", repeat(u'0', 56) + u"99999999"},
                      OverflowCase{"TextTooLong", 1, repeat(u'1', 32768), repeat(u'1', 32768)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KorvelForm, LongestAcceptedTextIsCut) {
    Rig rig;
    std::int16_t a = 1;
    std::u16string datas = repeat(u'1', 32767);
    EXPECT_EQ(rig.form.SendData(a, datas), 0);
    EXPECT_EQ(datas, repeat(u'1', 64));
}

struct GroupCase {
    std::u16string group;
    std::int32_t value;
};
TEST(KorvelBinToNum, WeighsEachCharacterByItsPosition) {
    const GroupCase cases[] = {{u"00000000", 0},   {u"10000000", 128}, {u"00000001", 1},  {u"11111111", 255},
                               {u"00000002", 2},   {u"20000000", 256}, {u"99999999", 2295}, {u"0 a-1\u00b2x1", 9},
                               {u"", 0},           {u"1", 1}};
    for (const auto& c : cases) EXPECT_EQ(BinToNum(c.group), c.value);
}

struct SettingsCase {
    const char* text;
    bool valid;
    unsigned baud;
    char parity;
    unsigned dataBits;
    unsigned stopBits10;
};
TEST(KorvelLineSettings, ParsesOrRefusesWithInvalidPropertyValue) {
    const SettingsCase cases[] = {
        {"1200,n,8,1", true, 1200, 'n', 8, 10},  {"9600,E,7,2", true, 9600, 'e', 7, 20},
        {"300,o,5,1.5", true, 300, 'o', 5, 15},  {" 1200 , n , 8 , 1 ", true, 1200, 'n', 8, 10},
        {"1200,n,8", false, 0, 0, 0, 0},         {"1200,n,8,1,1", false, 0, 0, 0, 0},
        {"fast,n,8,1", false, 0, 0, 0, 0},       {"1200,x,8,1", false, 0, 0, 0, 0},
        {"1200,n,9,1", false, 0, 0, 0, 0},       {"1200,n,8,3", false, 0, 0, 0, 0},
        {"", false, 0, 0, 0, 0},                 {"-1200,n,8,1", false, 0, 0, 0, 0},
        {"99999999,n,8,1", false, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        if (c.valid) {
            const LineSettings s = parseLineSettings(c.text);
            EXPECT_EQ(s.baud, c.baud);
            EXPECT_EQ(s.parity, c.parity);
            EXPECT_EQ(s.dataBits, c.dataBits);
            EXPECT_EQ(s.stopBits10, c.stopBits10);
        } else {
            EXPECT_EQ(errorNumber([&] { parseLineSettings(c.text); }), kErrInvalidProperty);
        }
    }
}

}  // namespace
}  // namespace korvel::test
