#include "printout.h"

#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace vprinter {

Printout::Printout(const PrintoutOptions& options)
    : options_(options), decoder_([this](const escpos::Command& c) { command(c); }) {
    if (!options_.paperPrefix.empty()) {
        escpos::RendererOptions rendering;
        rendering.width = options_.width;
        renderer_ =
            std::make_unique<escpos::Renderer>(rendering, [this](const escpos::Paper& paper) { writePiece(paper); });
    }
    if (!options_.listing.empty()) {
        listing_ = std::fopen(options_.listing.c_str(), "we");
        if (!listing_)
            throw std::runtime_error("cannot create " + options_.listing + ": " +
                                     std::generic_category().message(errno));
    }
    worker_ = std::thread(&Printout::run, this);
}

Printout::~Printout() { finish(); }

void Printout::receive(std::span<const std::uint8_t> chunk) {
    {
        std::lock_guard lock(mutex_);
        queued_.insert(queued_.end(), chunk.begin(), chunk.end());
    }
    arrived_.notify_one();
}

void Printout::finish() {
    if (!worker_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        finishing_ = true;
    }
    arrived_.notify_one();
    worker_.join();
}

void Printout::run() {
    std::vector<std::uint8_t> batch;
    std::unique_lock lock(mutex_);
    for (;;) {
        arrived_.wait(lock, [&] { return !queued_.empty() || finishing_; });
        if (queued_.empty()) break;  // finishing, and everything has been taken
        batch.swap(queued_);
        lock.unlock();
        decoder_.feed(batch);
        batch.clear();
        if (listing_) std::fflush(listing_);
        lock.lock();
    }
    lock.unlock();
    decoder_.finish();
    if (renderer_) renderer_->finish();
    if (listing_) {
        std::fclose(listing_);
        listing_ = nullptr;
    }
}

void Printout::command(const escpos::Command& command) {
    if (listing_) {
        const std::string line = escpos::listingLine(command);
        std::fprintf(listing_, "%s\n", line.c_str());
    }
    if (renderer_) renderer_->apply(command);
}

void Printout::writePiece(const escpos::Paper& paper) {
    const std::string path = options_.paperPrefix + "-" + std::to_string(++pieces_) + ".png";
    if (!escpos::writePng(paper, path)) {
        std::fprintf(stderr, "virtual-printer: cannot write %s\n", path.c_str());
    } else if (options_.announce) {
        std::fprintf(stderr, "virtual-printer: wrote %s\n", path.c_str());
    }
}

}  // namespace vprinter
