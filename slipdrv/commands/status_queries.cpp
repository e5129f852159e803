// Status and identification queries: a request, then reply bytes read until
// one passes the query's acceptance test.
#include <chrono>
#include <thread>

#include "command_row.h"
#include "port_control.h"
#include "slipdrv.h"

namespace slipdrv {
namespace {

constexpr CommandRow kRealtimeResponse = row({values({{1, 2}})}, {DLE, ENQ, kArg1}, 3000);
constexpr CommandRow kAutoStatusBack = row({kAnyByte}, {GS, 'a', kArg1}, 3000);

// A one-byte query: its selectors, request prefix and acceptance test.
struct OneByteQuery {
    Accepted selectors;
    std::uint8_t request[2];
    std::uint8_t mask;
    std::uint8_t accepted;
};

constexpr OneByteQuery kRealtimeStatus{values({{1, 5}}), {DLE, EOT}, 0x93, 0x12};
constexpr OneByteQuery kPrinterId{values({{1, 3}, {49, 51}}), {GS, 'I'}, 0x68, 0x00};
constexpr OneByteQuery kSensorStatus{values({{1, 1}, {49, 49}}), {GS, 'r'}, 0xF0, 0x60};

using Clock = std::chrono::steady_clock;

void pause(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// How the active port's replies are waited for; null when it carries none.
const ReplyTiming* replyTiming() { return library().active.load()->replyTiming(); }

// Bytes that came before the request answer none of the query's questions.
void discardEarlierBytes() { library().active.load()->discardReceived(); }

int msUntil(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Reads reply bytes until one passes the test, within one reply time-out
// counted from the first read; rejected bytes are consumed and passed over
// at once. -1 when the time-out runs out first.
int readReplyByte(const ReplyTiming& timing, std::uint8_t mask, std::uint8_t accepted) {
    pause(timing.queryPauseMs);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timing.queryReplyTimeoutMs);
    do {
        const int left = msUntil(deadline);
        std::uint8_t b = 0;
        if (ChannelRead(&b, 1, left) != 0) return -1;
        if ((b & mask) == accepted) return b;
    } while (Clock::now() < deadline);
    return -1;
}

int runQuery(const OneByteQuery& query, int n) {
    // Only the low 8 bits select; the upper bits are ignored.
    const std::uint8_t selector = low8(n);
    if (!query.selectors.contains(selector)) return -1;
    // The request and its reply reads are one step for other host threads.
    const auto lock = exclusiveUse();
    // A port that carries no replies is not asked: no byte could answer.
    const ReplyTiming* timing = replyTiming();
    if (!timing) return -1;
    discardEarlierBytes();
    const std::uint8_t command[] = {query.request[0], query.request[1], selector};
    if (ChannelWrite(command, sizeof command, kCommandTimeoutMs) != 0) return -1;
    return readReplyByte(*timing, query.mask, query.accepted);
}

}  // namespace
}  // namespace slipdrv

using namespace slipdrv;

extern "C" {

int SLIPDRV_CALL BPRealtimeGetStatus(int n) { return runQuery(kRealtimeStatus, n); }
int SLIPDRV_CALL BPTransmitPrinterID(int n) { return runQuery(kPrinterId, n); }
int SLIPDRV_CALL BPTransmitStatus(int n) { return runQuery(kSensorStatus, n); }
int SLIPDRV_CALL BPRealtimeResponse(int n) { return sendCommand(kRealtimeResponse, n); }
int SLIPDRV_CALL BPAutoStatusBackSet(int n) { return sendCommand(kAutoStatusBack, n); }

int SLIPDRV_CALL BPGetMemorySwitch(int a, unsigned char* buffer) {
    if (a < 1 || a > 8 || !buffer) return -1;
    const auto lock = exclusiveUse();
    const ReplyTiming* timing = replyTiming();
    if (!timing) return -1;
    discardEarlierBytes();
    const std::uint8_t command[] = {GS, '(', 'E', 0x02, 0x00, 0x04, low8(a)};
    if (ChannelWrite(command, sizeof command, kCommandTimeoutMs) != 0) return -1;
    pause(timing->memorySwitchPauseMs);
    return ChannelRead(buffer, 11, timing->memorySwitchTimeoutMs);
}

}  // extern "C"
