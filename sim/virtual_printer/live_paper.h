// What the live view shows of the printout: the piece in progress, the last
// pieces cut, and the listing of the last commands with where each printed.
// The printout's worker publishes into it (as its observer) under a short
// lock; the web server's threads read copies of it, so that a slow page never
// holds up the worker. No platform code.
//
// Memory is bounded: the last kKeptPieces pieces cut (each at most the
// renderer's maximum length), the last kKeptCommands listing lines, and the
// piece in progress. Paper is kept as packed rows (see escpos::Paper::row()).
//
// Each change (a publish, a clear, touch()) raises the version; a reader that
// has the piece in progress as of an older version can ask for the rows that
// changed since, as long as that version is among the last kKeptChanges.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "printout.h"

namespace vprinter {

class LivePaper : public PrintoutObserver {
public:
    static constexpr std::size_t kKeptPieces = 50;
    static constexpr std::size_t kKeptCommands = 500;
    static constexpr std::size_t kKeptChanges = 64;

    // Rows [from, height) of a piece, packed, (width + 7) / 8 bytes a row.
    struct Rows {
        std::uint64_t version = 0;
        int piece = 0;  // counted by the cuts before it
        int width = 0;
        int height = 0;
        int top = 0;  // rows above it were cleared from the view
        int from = 0;
        std::shared_ptr<const std::string> bits;  // every row of the piece
    };

    explicit LivePaper(int width);

    // PrintoutObserver: on the printout's worker thread.
    void command(const std::string& line, int piece, int row) override;
    void pieceCut(const escpos::Paper& paper, int number) override;
    void inProgress(const escpos::Paper& paper, int piece) override;

    // For the web server's threads.
    std::uint64_t version() const;
    // Waits until the version is past `seen`, for at most `timeout`; true when it is past.
    bool waitForChange(std::uint64_t seen, std::chrono::milliseconds timeout) const;
    // The view as JSON members (no braces): version, width, the piece in
    // progress, the pieces kept (newest first), and the listing lines after
    // number `listed`, which is moved past them.
    std::string describe(std::uint64_t& listed) const;
    // The piece in progress; `since` a version whose rows the reader has: from
    // is then the first row changed after it (height when none did).
    Rows current(std::optional<std::uint64_t> since) const;
    // A piece kept, from row 0; nullopt when it was never cut, dropped or cleared.
    std::optional<Rows> piece(int number) const;
    // Drops the pieces cut and hides what the piece in progress holds so far.
    void clear();
    // Raises the version (something else the view shows changed).
    void touch();

private:
    struct Listed {
        std::uint64_t number;
        std::string line;
        int piece;
        int row;
    };
    struct Cut {
        int number;
        int height;
        std::shared_ptr<const std::string> bits;
    };
    struct Change {
        std::uint64_t version;
        int firstRow;  // the first row of the piece in progress that changed
    };
    static std::shared_ptr<const std::string> packed(const escpos::Paper& paper);
    void changedLocked(int firstRow);

    const int width_;
    // The worker's own: what it has seen since its last publish.
    std::vector<Listed> newLines_;
    std::deque<Cut> newCuts_;
    std::uint64_t linesSeen_ = 0;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::uint64_t version_ = 0;
    std::deque<Listed> lines_;
    std::deque<Cut> cuts_;  // oldest first
    int piece_ = 0;
    int height_ = 0;
    int top_ = 0;
    std::shared_ptr<const std::string> bits_ = std::make_shared<const std::string>();
    std::deque<Change> changes_;
};

}  // namespace vprinter
