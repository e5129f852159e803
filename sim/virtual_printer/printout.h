// What the virtual-printer program makes of the stream it receives, away from
// the printer's thread so that reading never waits for it: the decoded
// listing, one line per command, written as the bytes arrive; and the paper,
// written to PREFIX-1.png, PREFIX-2.png, ... as each piece is cut.
//
// receive() is called on the printer's thread; the constructor and finish()
// on the main thread. Decoding, listing and rendering run on a worker thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "escpos_decoder.h"
#include "renderer.h"

namespace vprinter {

struct PrintoutOptions {
    std::string listing;      // file for the listing; empty: none
    std::string paperPrefix;  // prefix of the PNG files; empty: no paper
    int width = 576;          // printable width in dots
    bool announce = false;    // name each PNG file on stderr as it is written
};

class Printout {
public:
    // Opens the listing and loads the font. Throws std::runtime_error when
    // the listing cannot be created or the renderer has no font.
    explicit Printout(const PrintoutOptions& options);
    ~Printout();
    Printout(const Printout&) = delete;
    Printout& operator=(const Printout&) = delete;

    // Queues the bytes for the worker and returns.
    void receive(std::span<const std::uint8_t> chunk);
    // Lists and renders everything queued, writes the piece still on the
    // printer, closes the listing and ends the worker. Call after the last
    // receive(); the destructor calls it if it was not called.
    void finish();

private:
    void run();
    void command(const escpos::Command& command);
    void writePiece(const escpos::Paper& paper);

    PrintoutOptions options_;
    std::FILE* listing_ = nullptr;
    std::unique_ptr<escpos::Renderer> renderer_;
    escpos::Decoder decoder_;
    int pieces_ = 0;

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::uint8_t> queued_;
    bool finishing_ = false;
    std::thread worker_;
};

}  // namespace vprinter
