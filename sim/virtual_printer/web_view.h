// The live view of the virtual printer: a page served on 127.0.0.1 that shows
// the paper as it prints, the listing of the last commands, and the printer's
// state with controls to change it.
//
// The page gets a server-sent event whenever the view changes (at most as
// often as the printout publishes, see Printout::kPublishInterval), then
// fetches the rows of the piece in progress that changed and any new piece.
// Everything is served from the server's own threads out of copies taken
// from the LivePaper under its short lock, so that no page, however slow,
// stalled or malformed, holds up the printer.
//
// Requests:
//   GET  /                        the page (HTML, script and style in one file)
//   GET  /events                  the event stream; at most kMostStreams at once (503 beyond)
//   GET  /paper/current?since=V   rows of the piece in progress changed since version V
//   GET  /paper/piece/N           piece N (counted by the cuts before it) while it is kept
//   POST /state?condition=C&on=1|0  sets or clears one condition
//   POST /clear                   clears the paper shown
// Paper comes as packed rows (8 dots a byte, bit 7 leftmost) with its place
// in headers (X-Piece, X-Width, X-Height, X-Top, X-From, X-Version). Requests
// must name the view's own host (127.0.0.1:PORT or localhost:PORT), and a
// POST must carry "X-Live-View: 1", which a page of another site cannot send
// without asking first: anything else is answered 403.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "live_paper.h"
#include "printer_state.h"

namespace vprinter {

struct WebControls {
    std::function<Conditions()> conditions;                // the state the printers answer from
    std::function<void(Condition, bool on)> setCondition;  // adds or removes one condition
};

class WebView {
public:
    static constexpr std::size_t kMostStreams = 32;

    // Listens on 127.0.0.1 at `port` (0: a free one) and serves from threads
    // of its own. Throws std::runtime_error when the port cannot be had.
    WebView(std::uint16_t port, LivePaper& paper, WebControls controls);
    ~WebView();
    WebView(const WebView&) = delete;
    WebView& operator=(const WebView&) = delete;

    std::uint16_t port() const;
    // Ends the event streams and the server; the destructor calls it.
    void stop();

private:
    struct Server;
    std::unique_ptr<Server> server_;
};

}  // namespace vprinter
