#include "live_paper.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace vprinter {

namespace {

std::size_t strideOf(int width) { return (static_cast<std::size_t>(width) + 7) / 8; }

// A JSON string; bytes outside printable ASCII are written as \u00XX, so the
// text stays valid whatever a listing line holds.
void appendJsonString(std::string& out, const std::string& text) {
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte >= 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
}

}  // namespace

LivePaper::LivePaper(int width) : width_(width) {}

std::shared_ptr<const std::string> LivePaper::packed(const escpos::Paper& paper) {
    const std::size_t stride = strideOf(paper.width());
    auto bits = std::make_shared<std::string>(stride * static_cast<std::size_t>(paper.height()), '\0');
    for (int y = 0; y < paper.height(); ++y)
        std::memcpy(bits->data() + static_cast<std::size_t>(y) * stride, paper.row(y), stride);
    return bits;
}

void LivePaper::command(const std::string& line, int piece, int row) {
    newLines_.push_back(Listed{++linesSeen_, line, piece, row});
    if (newLines_.size() > kKeptCommands) newLines_.erase(newLines_.begin());
}

void LivePaper::pieceCut(const escpos::Paper& paper, int number) {
    newCuts_.push_back(Cut{number, paper.height(), packed(paper)});
    if (newCuts_.size() > kKeptPieces) newCuts_.pop_front();
}

void LivePaper::inProgress(const escpos::Paper& paper, int piece) {
    auto bits = packed(paper);
    // Only this thread replaces bits_ and piece_, so it may read them unlocked.
    int firstRow = 0;
    if (piece == piece_) {
        const std::string& before = *bits_;
        const auto [changed, unused] = std::mismatch(before.begin(), before.end(), bits->begin(), bits->end());
        firstRow = static_cast<int>(static_cast<std::size_t>(changed - before.begin()) / strideOf(paper.width()));
        if (before.size() == bits->size() && changed == before.end() && newLines_.empty() && newCuts_.empty())
            return;  // nothing new to show
    }
    {
        std::lock_guard lock(mutex_);
        for (auto& cut : newCuts_) cuts_.push_back(std::move(cut));
        while (cuts_.size() > kKeptPieces) cuts_.pop_front();
        for (auto& line : newLines_) lines_.push_back(std::move(line));
        while (lines_.size() > kKeptCommands) lines_.pop_front();
        if (piece != piece_) top_ = 0;
        piece_ = piece;
        height_ = paper.height();
        bits_ = std::move(bits);
        changedLocked(firstRow);
    }
    newCuts_.clear();
    newLines_.clear();
    changed_.notify_all();
}

void LivePaper::changedLocked(int firstRow) {
    ++version_;
    changes_.push_back(Change{version_, firstRow});
    if (changes_.size() > kKeptChanges) changes_.pop_front();
}

std::uint64_t LivePaper::version() const {
    std::lock_guard lock(mutex_);
    return version_;
}

bool LivePaper::waitForChange(std::uint64_t seen, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return version_ > seen; });
    return version_ > seen;
}

std::string LivePaper::describe(std::uint64_t& listed) const {
    std::string out;
    std::lock_guard lock(mutex_);
    out += "\"version\":" + std::to_string(version_) + ",\"width\":" + std::to_string(width_);
    out += ",\"current\":{\"piece\":" + std::to_string(piece_) + ",\"height\":" + std::to_string(height_) +
           ",\"top\":" + std::to_string(top_) + "}";
    out += ",\"pieces\":[";
    for (auto cut = cuts_.rbegin(); cut != cuts_.rend(); ++cut) {
        if (cut != cuts_.rbegin()) out += ',';
        out += "{\"number\":" + std::to_string(cut->number) + ",\"height\":" + std::to_string(cut->height) + "}";
    }
    out += "],\"commands\":[";
    bool first = true;
    for (const auto& entry : lines_) {
        if (entry.number <= listed) continue;
        if (!first) out += ',';
        first = false;
        out += "{\"n\":" + std::to_string(entry.number) + ",\"piece\":" + std::to_string(entry.piece) +
               ",\"row\":" + std::to_string(entry.row) + ",\"line\":";
        appendJsonString(out, entry.line);
        out += '}';
        listed = entry.number;
    }
    out += ']';
    return out;
}

LivePaper::Rows LivePaper::current(std::optional<std::uint64_t> since) const {
    std::lock_guard lock(mutex_);
    Rows rows{version_, piece_, width_, height_, top_, 0, bits_};
    // The changes after `since` must all be known; otherwise every row is sent.
    if (since && *since <= version_ && !changes_.empty() && changes_.front().version <= *since + 1) {
        rows.from = height_;
        for (const Change& change : changes_)
            if (change.version > *since) rows.from = std::min(rows.from, change.firstRow);
    } else if (since && *since == version_) {
        rows.from = height_;
    }
    rows.from = std::clamp(rows.from, 0, height_);
    return rows;
}

std::optional<LivePaper::Rows> LivePaper::piece(int number) const {
    std::lock_guard lock(mutex_);
    for (const Cut& cut : cuts_)
        if (cut.number == number) return Rows{version_, cut.number, width_, cut.height, 0, 0, cut.bits};
    return std::nullopt;
}

void LivePaper::clear() {
    {
        std::lock_guard lock(mutex_);
        cuts_.clear();
        top_ = height_;
        changedLocked(height_);
    }
    changed_.notify_all();
}

void LivePaper::touch() {
    {
        std::lock_guard lock(mutex_);
        changedLocked(height_);
    }
    changed_.notify_all();
}

}  // namespace vprinter
