#include "printout.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <stdexcept>
#include <system_error>

namespace vprinter {

namespace {

// The worker decodes what it takes in slices of this size, so that the room
// it makes shows in the buffer as it goes.
constexpr std::size_t kSlice = std::size_t{16} << 10;

}  // namespace

Printout::Printout(const PrintoutOptions& options, PrintoutObserver* observer)
    : options_(options), decoder_([this](const escpos::Command& c) { command(c); }), observer_(observer) {
    if (!options_.paperPrefix.empty() || observer_) {
        escpos::RendererOptions rendering;
        rendering.width = options_.width;
        rendering.charset = options_.charset;
        rendering.nvStore = kNvStore;
        rendering.maxHeight = options_.maxLength;
        // Without files the pieces cost nothing to keep going.
        rendering.maxPieces = options_.paperPrefix.empty() ? INT_MAX : options_.maxPieces;
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

void Printout::onBufferFull(BufferHandler handler) {
    std::lock_guard lock(mutex_);
    bufferHandler_ = std::move(handler);
}

void Printout::receive(std::span<const std::uint8_t> chunk) {
    {
        std::lock_guard lock(mutex_);
        queued_.insert(queued_.end(), chunk.begin(), chunk.end());
        held_ += chunk.size();
        if (!full_ && held_ >= kHoldBytes) {
            full_ = true;
            if (bufferHandler_) bufferHandler_(true);
        }
    }
    arrived_.notify_one();
}

void Printout::taken(std::size_t count) {
    std::lock_guard lock(mutex_);
    held_ -= count;
    if (full_ && held_ <= kHoldBytes / 2) {
        full_ = false;
        if (bufferHandler_) bufferHandler_(false);
    }
}

void Printout::stop() {
    {
        std::lock_guard lock(mutex_);
        if (stopping_.load()) return;
        stopBy_ = Clock::now() + kStopGrace;
        stopping_.store(true, std::memory_order_release);
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
        const auto ready = [&] { return !queued_.empty() || finishing_ || stopping_.load(); };
        if (!unpublished_) {
            arrived_.wait(lock, ready);
        } else if (!arrived_.wait_until(lock, nextPublish_, ready)) {
            // Idle with changes not yet shown: the observer sees them now.
            lock.unlock();
            publish();
            lock.lock();
            continue;
        }
        if (cutOff_ || (queued_.empty() && finishing_)) break;  // finishing, and everything has been taken
        if (queued_.empty()) {
            // Stopping with nothing held: the piece in progress is as far as it goes.
            cutOff_ = true;
            continue;
        }
        batch.swap(queued_);
        lock.unlock();
        std::size_t done = 0;
        while (done < batch.size() && !cutOff_) {
            const std::size_t size = std::min(kSlice, batch.size() - done);
            decoder_.feed(std::span(batch).subspan(done, size));
            done += size;
            taken(size);
        }
        taken(batch.size() - done);  // cut off: the rest is dropped
        batch.clear();
        if (listing_) std::fflush(listing_);
        lock.lock();
    }
    lock.unlock();
    if (!cutOff_) decoder_.finish();
    if (renderer_) renderer_->finish();
    if (unpublished_) publish();
    if (listing_) {
        std::fclose(listing_);
        listing_ = nullptr;
    }
}

void Printout::command(const escpos::Command& command) {
    if (cutOff_) return;
    if (stopping_.load(std::memory_order_acquire)) {
        if (piecesAtStop_ < 0) piecesAtStop_ = renderer_ ? renderer_->pieces() : 0;
        if (Clock::now() >= stopBy_ || (renderer_ && renderer_->pieces() > piecesAtStop_)) {
            cutOff_ = true;
            return;
        }
    }
    if (renderer_ && renderer_->limit() == escpos::Limit::kNone) {
        renderer_->apply(command);
        if (renderer_->limit() != escpos::Limit::kNone) sayWhyThePaperStopped();
    }
    std::string line;
    if (listing_ || observer_) {
        line = escpos::listingLine(command);
        // What the renderer made of the command follows its line: why it printed nothing.
        if (renderer_ && !renderer_->note().empty()) line += "; " + renderer_->note();
    }
    if (listing_) std::fprintf(listing_, "%s\n", line.c_str());
    if (observer_) {
        observer_->command(line, renderer_->pieces(), renderer_->position());
        unpublished_ = true;
        if (Clock::now() >= nextPublish_) publish();
    }
}

void Printout::publish() {
    observer_->inProgress(renderer_->pieceInProgress(), renderer_->pieces());
    unpublished_ = false;
    nextPublish_ = Clock::now() + kPublishInterval;
}

void Printout::sayWhyThePaperStopped() const {
    if (renderer_->limit() == escpos::Limit::kPieces)
        std::fprintf(stderr,
                     "virtual-printer: paper output stopped after %d pieces, the most one run writes "
                     "(--max-pieces raises it); the printer goes on reading and answering\n",
                     options_.maxPieces);
    else
        std::fprintf(stderr,
                     "virtual-printer: paper output stopped: piece %d reached %d dots, the most one piece "
                     "may be (--max-length raises it); the printer goes on reading and answering\n",
                     renderer_->pieces(), options_.maxLength);
}

void Printout::writePiece(const escpos::Paper& paper) {
    const int number = pieces_++;
    if (observer_) observer_->pieceCut(paper, number);
    if (options_.paperPrefix.empty()) return;
    const std::string path = options_.paperPrefix + "-" + std::to_string(pieces_) + ".png";
    if (!escpos::writePng(paper, path)) {
        std::fprintf(stderr, "virtual-printer: cannot write %s\n", path.c_str());
    } else if (options_.announce) {
        std::fprintf(stderr, "virtual-printer: wrote %s\n", path.c_str());
    }
}

}  // namespace vprinter
