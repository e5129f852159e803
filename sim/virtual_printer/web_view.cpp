#include "web_view.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "web_page.h"

namespace vprinter {

namespace {

using namespace std::chrono_literals;

// Each event stream holds a thread while its page is open; the rest serve the
// page's fetches.
constexpr std::size_t kThreads = WebView::kMostStreams + 16;
// How often a stream looks at the printers' state, and how long it stays
// silent before it sends a comment (which finds a page that has gone).
constexpr auto kStatePoll = 100ms;
constexpr auto kHeartbeat = 5s;

std::optional<std::uint64_t> parseCount(const std::string& text) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoull(text);
}

void sendRows(httplib::Response& res, const LivePaper::Rows& rows) {
    const std::size_t stride = (static_cast<std::size_t>(rows.width) + 7) / 8;
    res.set_header("X-Version", std::to_string(rows.version));
    res.set_header("X-Piece", std::to_string(rows.piece));
    res.set_header("X-Width", std::to_string(rows.width));
    res.set_header("X-Height", std::to_string(rows.height));
    res.set_header("X-Top", std::to_string(rows.top));
    res.set_header("X-From", std::to_string(rows.from));
    res.set_content(rows.bits->substr(static_cast<std::size_t>(rows.from) * stride), "application/octet-stream");
}

}  // namespace

struct WebView::Server {
    Server(LivePaper& paper, WebControls controls) : paper(paper), controls(std::move(controls)) {}

    void routes();
    bool allowed(const httplib::Request& req) const;
    void events(httplib::Response& res);
    // The conditions, looked up at most every kStatePoll however many streams ask.
    Conditions conditionsNow(bool fresh = false);
    std::string stateJson(Conditions conditions) const;

    LivePaper& paper;
    WebControls controls;
    httplib::Server http;
    std::uint16_t port = 0;
    std::thread thread;
    std::atomic<std::size_t> streams{0};
    std::atomic<bool> stopping{false};

    std::mutex stateMutex;
    Conditions conditions;
    std::chrono::steady_clock::time_point polled;
};

Conditions WebView::Server::conditionsNow(bool fresh) {
    std::lock_guard lock(stateMutex);
    const auto now = std::chrono::steady_clock::now();
    if (fresh || now - polled >= kStatePoll) {
        conditions = controls.conditions();
        polled = now;
    }
    return conditions;
}

std::string WebView::Server::stateJson(Conditions now) const {
    std::string out = "\"state\":{";
    for (const Condition c : kAllConditions) {
        if (c != kAllConditions.front()) out += ',';
        out += "\"" + std::string(conditionName(c)) + "\":" + (now.has(c) ? "true" : "false");
    }
    return out + "}";
}

bool WebView::Server::allowed(const httplib::Request& req) const {
    const std::string host = req.get_header_value("Host");
    const std::string suffix = ":" + std::to_string(port);
    if (host != "127.0.0.1" + suffix && host != "localhost" + suffix) return false;
    return req.method != "POST" || req.get_header_value("X-Live-View") == "1";
}

void WebView::Server::events(httplib::Response& res) {
    if (++streams > kMostStreams) {
        --streams;
        res.status = 503;
        res.set_header("Retry-After", "5");
        res.set_content("too many pages open\n", "text/plain");
        return;
    }
    struct Stream {
        bool started = false;
        std::uint64_t version = 0;
        std::uint64_t listed = 0;
        Conditions conditions;
        std::chrono::steady_clock::time_point sent;
    };
    auto stream = std::make_shared<Stream>();
    res.set_header("Cache-Control", "no-store");
    res.set_chunked_content_provider(
        "text/event-stream",
        [this, stream](std::size_t, httplib::DataSink& sink) {
            // Waits for something to send; the copy is taken under the paper's
            // lock, and written without it.
            std::string message;
            while (message.empty()) {
                if (stopping.load()) return false;
                const bool changed = paper.waitForChange(stream->version, kStatePoll);
                const Conditions now = conditionsNow();
                if (!stream->started || changed || now != stream->conditions) {
                    stream->started = true;
                    stream->conditions = now;
                    stream->version = paper.version();
                    message = "data: {" + stateJson(now) + "," + paper.describe(stream->listed) + "}\n\n";
                } else if (std::chrono::steady_clock::now() - stream->sent >= kHeartbeat) {
                    message = ":\n\n";
                }
            }
            stream->sent = std::chrono::steady_clock::now();
            return sink.write(message.data(), message.size());
        },
        [this](bool) { --streams; });
}

void WebView::Server::routes() {
    http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        if (allowed(req)) return httplib::Server::HandlerResponse::Unhandled;
        res.status = 403;
        res.set_content("forbidden\n", "text/plain");
        return httplib::Server::HandlerResponse::Handled;
    });
    http.Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("Cache-Control", "no-store");
        res.set_content(kLiveViewPage, kLiveViewPageSize, "text/html; charset=utf-8");
    });
    http.Get("/events", [this](const httplib::Request&, httplib::Response& res) { events(res); });
    http.Get("/paper/current", [this](const httplib::Request& req, httplib::Response& res) {
        std::optional<std::uint64_t> since;
        if (req.has_param("since")) {
            since = parseCount(req.get_param_value("since"));
            if (!since) {
                res.status = 400;
                return;
            }
        }
        res.set_header("Cache-Control", "no-store");
        sendRows(res, paper.current(since));
    });
    http.Get(R"(/paper/piece/(\d{1,9}))", [this](const httplib::Request& req, httplib::Response& res) {
        const auto piece = paper.piece(std::stoi(req.matches[1]));
        if (!piece) {
            res.status = 404;
            return;
        }
        res.set_header("Cache-Control", "no-store");
        sendRows(res, *piece);
    });
    http.Post("/state", [this](const httplib::Request& req, httplib::Response& res) {
        const auto condition = conditionNamed(req.get_param_value("condition"));
        const std::string on = req.get_param_value("on");
        if (!condition || (on != "0" && on != "1")) {
            res.status = 400;
            res.set_content("condition=NAME&on=1|0\n", "text/plain");
            return;
        }
        controls.setCondition(*condition, on == "1");
        conditionsNow(true);
        paper.touch();  // every page hears of it at once
        res.status = 204;
    });
    http.Post("/clear", [this](const httplib::Request&, httplib::Response& res) {
        paper.clear();
        res.status = 204;
    });
}

WebView::WebView(std::uint16_t port, LivePaper& paper, WebControls controls)
    : server_(std::make_unique<Server>(paper, std::move(controls))) {
    // A page that goes away mid-write must not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    Server& s = *server_;
    s.http.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    s.http.set_keep_alive_timeout(2);
    s.http.set_read_timeout(5);
    s.http.set_write_timeout(5);  // a page that stops reading is dropped after this
    s.http.set_payload_max_length(1024);
    s.routes();
    const int bound =
        port == 0 ? s.http.bind_to_any_port("127.0.0.1") : (s.http.bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound <= 0)
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port) + " for the web view");
    s.port = static_cast<std::uint16_t>(bound);
    s.thread = std::thread([&s] { s.http.listen_after_bind(); });
}

WebView::~WebView() { stop(); }

std::uint16_t WebView::port() const { return server_->port; }

void WebView::stop() {
    if (!server_->thread.joinable()) return;
    server_->stopping.store(true);
    server_->http.stop();
    server_->thread.join();
}

}  // namespace vprinter
