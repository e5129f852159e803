// What the virtual-printer program makes of the stream it receives, away from
// the printer's thread so that reading never waits for it: the decoded
// listing, one line per command, written as the bytes arrive; and the paper,
// written to PREFIX-1.png, PREFIX-2.png, ... as each piece is cut.
//
// The input it holds, received but not yet decoded, is its buffer: when that
// reaches kHoldBytes it says the buffer is full (the printers then stop
// reading their lines, and the clients' writes wait), and when it is down to
// half it says there is room again. Replies do not wait for it: the printers
// answer requests as they read them.
//
// The paper stops for good, with a message on stderr, at the renderer's
// limits (a number of pieces, a length of one piece); the listing goes on.
// The piece limit holds only for the PNG files: without them nothing is
// written, and an observer keeps what it shows bounded itself.
//
// An observer (the live view) is shown every command with where it printed,
// each piece as it is cut, and, at most every publishInterval and within one
// interval of the last change, the piece in progress, so that it can copy
// what it shows without slowing the worker down much.
//
// receive() is called on the printers' threads; the constructor, stop() and
// finish() on the main thread. Decoding, listing and rendering run on a
// worker thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "escpos_decoder.h"
#include "renderer.h"

namespace vprinter {

// The printer's NV memory (NV images and NV graphics), in the folder it runs
// in: kept by the renderer whenever the paper is drawn.
inline constexpr const char* kNvStore = "nv-images.bin";

struct PrintoutOptions {
    std::string listing;      // file for the listing; empty: none
    std::string paperPrefix;  // prefix of the PNG files; empty: no paper
    int width = 576;          // printable width in dots
    bool announce = false;    // name each PNG file on stderr as it is written
    int maxPieces = 1000;     // pieces written before the paper stops
    int maxLength = 20000;    // dot rows of one piece at which the paper stops

    // How multi-byte text is read.
    escpos::Charset charset = escpos::Charset::kGb18030;
};

// Called on the printout's worker thread only, one call at a time.
class PrintoutObserver {
public:
    virtual ~PrintoutObserver() = default;
    // After each command: its listing line, and where the renderer stands
    // after it (the piece in progress, counted by the cuts before it, and the
    // dot row where its next line starts).
    virtual void command(const std::string& line, int piece, int row) = 0;
    // A piece just cut; it is the `number`th piece cut (from 0).
    virtual void pieceCut(const escpos::Paper& paper, int number) = 0;
    // The piece in progress, the `piece`th (from 0), as far as it has been printed.
    virtual void inProgress(const escpos::Paper& paper, int piece) = 0;
};

class Printout {
public:
    using Clock = std::chrono::steady_clock;
    using BufferHandler = std::function<void(bool full)>;
    // Input held before the buffer is full.
    static constexpr std::size_t kHoldBytes = std::size_t{1} << 20;
    // How long stop() lets the worker go on with the piece in progress.
    static constexpr std::chrono::milliseconds kStopGrace{500};

    // At most this often the observer is shown the piece in progress.
    static constexpr std::chrono::milliseconds kPublishInterval{40};

    // Opens the listing and loads the font; renders when there are PNG files
    // to write or an observer (which must outlive the printout). Throws
    // std::runtime_error when the listing cannot be created or the renderer
    // has no font.

    explicit Printout(const PrintoutOptions& options, PrintoutObserver* observer = nullptr);
    ~Printout();
    Printout(const Printout&) = delete;
    Printout& operator=(const Printout&) = delete;

    // Called with true when the buffer has filled and with false when it has
    // room again, under the printout's lock (so calls never cross): the
    // handler must not call back into the printout. An empty handler stops
    // the calls; once onBufferFull() returns, none is in progress.
    void onBufferFull(BufferHandler handler);
    // Queues the bytes for the worker and returns.
    void receive(std::span<const std::uint8_t> chunk);
    // Asks the worker to end soon: it goes on until the piece in progress is
    // cut, or the held input runs out, for at most kStopGrace; the rest held
    // is dropped. finish() then writes the paper as it stands.
    void stop();
    // Lists and renders what is queued (after stop(), what is left of the
    // piece in progress), writes the piece still on the printer, closes the
    // listing and ends the worker. Call after the last receive(); the
    // destructor calls it if it was not called.
    void finish();

private:
    void run();
    void command(const escpos::Command& command);
    void writePiece(const escpos::Paper& paper);
    void taken(std::size_t count);  // bytes the worker has done with
    void sayWhyThePaperStopped() const;
    void publish();  // shows the observer the piece in progress

    PrintoutOptions options_;
    std::FILE* listing_ = nullptr;
    std::unique_ptr<escpos::Renderer> renderer_;
    escpos::Decoder decoder_;
    int pieces_ = 0;
    // The worker's own: after stop(), the pieces at the first command it saw,
    // and whether it has cut off the rest.
    int piecesAtStop_ = -1;
    bool cutOff_ = false;
    PrintoutObserver* observer_ = nullptr;
    bool unpublished_ = false;  // the worker's own: commands since the last publish()
    Clock::time_point nextPublish_;

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::uint8_t> queued_;
    std::size_t held_ = 0;  // queued, or taken by the worker and not yet decoded
    bool full_ = false;
    BufferHandler bufferHandler_;
    bool finishing_ = false;
    Clock::time_point stopBy_;  // written before stopping_ is set
    std::atomic<bool> stopping_{false};
    std::thread worker_;
};

}  // namespace vprinter
