// The sender's core against a recording serial control: the frames byte for
// byte, the CRC, the digit text, the data bytes, the errors and the state
// of the port each leaves behind; and the checked properties of the serial
// control that every backend inherits.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "fake_serial_control.h"
#include "form1.h"
#include "frame.h"
#include "korvel_error.h"

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
        "CommPort=1",    "Settings=1200,n,8,1", "InputMode=1",     "DTREnable=true",   "RThreshold=1",
        "SThreshold=1",  "InputLen=0",          "InBufferCount=0", "OutBufferCount=0", "PortOpen=true",
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
INSTANTIATE_TEST_SUITE_P(Errors, KorvelOverflow,
                         ::testing::Values(OverflowCase{"Address256", 256, u"1", u"1" + repeat(u'0', 63)},
                                           OverflowCase{"AddressMinus1", -1, u"1", u"1" + repeat(u'0', 63)},
                                           OverflowCase{"AddressMax", 32767, u"", repeat(u'0', 64)},
                                           OverflowCase{"GroupOver255", 1, u"20000000", u"20000000" + repeat(u'0', 56)},
                                           OverflowCase{"NinesInLastGroup", 1, repeat(u'0', 56) + u"99999999",
                                                        repeat(u'0', 56) + u"99999999"},
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
    const GroupCase cases[] = {{u"00000000", 0}, {u"10000000", 128}, {u"00000001", 1},    {u"11111111", 255},
                               {u"00000002", 2}, {u"20000000", 256}, {u"99999999", 2295}, {u"0 a-1\u00b2x1", 9},
                               {u"", 0},         {u"1", 1}};
    for (const auto& c : cases) EXPECT_EQ(BinToNum(c.group), c.value);
}

// One rule for the Settings text on every platform. `applied` is the line
// the backend gets when the port opens, or null when the text is refused
// with 380 and the line set before it stays.
struct SettingsCase {
    const char* text;
    const char* applied;
};
TEST(KorvelSettings, AcceptsWhatAUartCanDoAndRefusesTheRest) {
    const SettingsCase cases[] = {
        {"1200,n,8,1", "1200,n,8,1"},     {" 1200 , N , 8 , 1 ", "1200,n,8,1"},
        {"110,e,7,2", "110,e,7,2"},       {"109,n,8,1", nullptr},
        {"256000,o,8,1", "256000,o,8,1"}, {"256001,n,8,1", nullptr},
        {"14400,n,8,1", "14400,n,8,1"},  // not one of the usual rates
        {"1234,n,8,1", "1234,n,8,1"},     {"9600,m,8,1", "9600,m,8,1"},
        {"9600,S,8,1", "9600,s,8,1"},     {"9600,x,8,1", nullptr},
        {"9600,,8,1", nullptr},           {"9600,no,8,1", nullptr},
        {"1200,n,4,1", nullptr},          {"1200,n,5,1", "1200,n,5,1"},
        {"1200,n,9,1", nullptr},          {"300,o,5,1.5", "300,o,5,1.5"},
        {"1200,n,6,1.5", nullptr},        {"1200,n,8,1.5", nullptr},
        {"1200,n,5,2", nullptr},          {"1200,n,6,2", "1200,n,6,2"},
        {"1200,n,8,0", nullptr},          {"1200,n,8,3", nullptr},
        {"1200,n,8,1.0", nullptr},        {"1200,n,8", nullptr},
        {"1200,n,8,1,1", nullptr},        {"", nullptr},
        {"fast,n,8,1", nullptr},          {"-1200,n,8,1", nullptr},
        {"99999999,n,8,1", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        RecordingBackend control;
        control.Settings("2400,n,8,1");
        EXPECT_EQ(errorNumber([&] { control.Settings(c.text); }), c.applied ? 0 : kErrInvalidProperty);
        control.PortOpen(true);
        EXPECT_EQ(control.line, c.applied ? c.applied : "2400,n,8,1");
    }
}

// The other properties, checked before the backend is asked for anything:
// a refused value reaches no hook.
struct PropertyCase {
    const char* name;
    bool open;
    std::function<void(SerialControl&)> set;
    int error;
};
TEST(KorvelControlProperties, RefusedValuesNeverReachTheBackend) {
    const PropertyCase cases[] = {
        {"CommPort=0", false, [](SerialControl& c) { c.CommPort(0); }, kErrInvalidPort},
        {"CommPort=1", false, [](SerialControl& c) { c.CommPort(1); }, 0},
        {"CommPort=16", false, [](SerialControl& c) { c.CommPort(16); }, 0},
        {"CommPort=17", false, [](SerialControl& c) { c.CommPort(17); }, kErrInvalidPort},
        {"CommPort=-1", false, [](SerialControl& c) { c.CommPort(-1); }, kErrInvalidPort},
        {"CommPort=2 while COM1 is open", true, [](SerialControl& c) { c.CommPort(2); }, kErrPortOpen},
        {"CommPort=1 while COM1 is open", true, [](SerialControl& c) { c.CommPort(1); }, 0},
        {"InputMode=0", false, [](SerialControl& c) { c.InputMode(0); }, 0},
        {"InputMode=1", false, [](SerialControl& c) { c.InputMode(1); }, 0},
        {"InputMode=2", false, [](SerialControl& c) { c.InputMode(2); }, kErrInvalidProperty},
        {"InputMode=-1", false, [](SerialControl& c) { c.InputMode(-1); }, kErrInvalidProperty},
        {"RThreshold=0", false, [](SerialControl& c) { c.RThreshold(0); }, 0},
        {"RThreshold=-1", false, [](SerialControl& c) { c.RThreshold(-1); }, kErrInvalidProperty},
        {"SThreshold=32767", false, [](SerialControl& c) { c.SThreshold(32767); }, 0},
        {"SThreshold=-1", false, [](SerialControl& c) { c.SThreshold(-1); }, kErrInvalidProperty},
        {"InputLen=0", false, [](SerialControl& c) { c.InputLen(0); }, 0},
        {"InputLen=-1", false, [](SerialControl& c) { c.InputLen(-1); }, kErrInvalidProperty},
        {"InBufferCount=0", true, [](SerialControl& c) { c.InBufferCount(0); }, 0},
        {"InBufferCount=1", true, [](SerialControl& c) { c.InBufferCount(1); }, kErrInvalidProperty},
        {"InBufferCount=-1", true, [](SerialControl& c) { c.InBufferCount(-1); }, kErrInvalidProperty},
        {"OutBufferCount=0", true, [](SerialControl& c) { c.OutBufferCount(0); }, 0},
        {"OutBufferCount=1", true, [](SerialControl& c) { c.OutBufferCount(1); }, kErrInvalidProperty},
        {"Settings refused while open", true, [](SerialControl& c) { c.Settings("1200,n,5,2"); }, kErrInvalidProperty},
        {"Output while open", true, [](SerialControl& c) { c.Output({1}); }, 0},
        {"Output while closed", false, [](SerialControl& c) { c.Output({1}); }, kErrPortNotOpen},
        {"Input while closed", false, [](SerialControl& c) { c.Input(); }, kErrPortNotOpen},
        {"InBufferCount read while closed", false, [](SerialControl& c) { c.InBufferCount(); }, kErrPortNotOpen},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingBackend control;
        if (c.open) control.PortOpen(true);
        control.hooks.clear();
        EXPECT_EQ(errorNumber([&] { c.set(control); }), c.error);
        if (c.error != 0) {
            EXPECT_EQ(control.hooks, std::vector<std::string>{});
        }
    }
}

}  // namespace
}  // namespace korvel::test
