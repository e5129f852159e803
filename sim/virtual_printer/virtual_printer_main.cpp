// virtual-printer: a receipt printer on a pseudo-terminal and/or behind a TCP
// port on 127.0.0.1, for people trying the library without hardware and for
// tests that run the Windows code under Wine (which reaches the link through a
// COM port mapping, or the port through a tcp:// setting, and drives the
// printer by writing lines to the control FIFO).
//
// The usage text below lists the options and control commands. The link and
// the "listening on" line come last: once they are there, the printer, the
// record file, the listing and the control FIFO are ready. With both a link
// and a port, the two lines are two printers that share the record, the
// show, the paper and the listing (a client uses one at a time); each answers
// from its own copy of the state, and control commands go to both.
//
// The printers read their lines only as fast as the paper and the listing
// are made: with a few MB of input held (see Printout), they stop reading
// until there is room again, so the clients' writes wait.
//
// With --web, a page on 127.0.0.1 shows the paper, the listing and the state
// live (see WebView), and changes the state as the control FIFO's state
// command does; the paper is rendered for it with or without --paper.
//
// Ends on quit, SIGTERM, SIGINT or SIGHUP: the link is removed, then the
// paper still on the printer is rendered and the listing finished. After
// quit everything held is rendered first; after a signal only the piece in
// progress, for half a second at most, and the rest held is dropped.

#include "common/kit_version.h"
#include "live_paper.h"
#include "nv_store.h"
#include "printout.h"
#include "virtual_printer.h"
#include "web_view.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Options {
    std::string link;
    std::optional<std::uint16_t> tcpPort;
    std::optional<std::uint16_t> webPort;
    std::string record;
    std::string control;
    std::vector<std::pair<Bytes, Bytes>> replies;
    long long stopReadingAfter = -1;  // -1: reads for ever
    bool show = false;
    std::optional<vprinter::Conditions> conditions;  // set: answers from the printer state
    vprinter::PrintoutOptions printout;
};

constexpr const char* kUsage =
    "usage: virtual-printer [--link PATH] [--tcp PORT] [--record FILE] [--control FIFO]\n"
    "                       [--reply REQHEX=REPLYHEX]... [--stop-reading-after N] [--show]\n"
    "                       [--state COND]... [--paper PREFIX] [--listing FILE] [--width DOTS]\n"
    "                       [--charset SET] [--web PORT]\n"
    "Plays a receipt printer on a pseudo-terminal that PATH links to, and/or behind\n"
    "a TCP port on 127.0.0.1 (at least one of the two).\n"
    "  --tcp PORT              listen on 127.0.0.1:PORT (0: a free port), one client at\n"
    "                          a time (others wait); prints \"listening on 127.0.0.1:N\"\n"
    "  --web PORT              show the paper, the listing and the state live on a page at\n"
    "                          http://127.0.0.1:PORT/ (0: a free port), with controls for\n"
    "                          the state; prints \"web view on http://127.0.0.1:N/\"\n"
    "  --record FILE           append every byte received to FILE\n"
    "  --control FIFO          take control commands from FIFO, one per line (below)\n"
    "  --reply REQ=REPLY       send REPLY each time the bytes received end with REQ (hex);\n"
    "                          a rule that answers a request overrides the state\n"
    "  --stop-reading-after N  read N bytes, then no more (a jammed printer); on each line\n"
    "  --show                  dump what arrives on stdout, name PNG files on stderr\n"
    "  --state COND            answer status requests from this state; repeatable. COND:\n"
    "                          paper-near-end, paper-out, cover-open, drawer-open, offline,\n"
    "                          error (cleared by DLE ENQ 1 or 2), or ok for none\n"
    "  --paper PREFIX          render each piece of paper as it is cut to PREFIX-1.png, ...\n"
    "                          and the rest at exit (NV images: nv-images.bin here)\n"
    "  --max-pieces N          stop the paper (not the printer) after N pieces (default 1000)\n"
    "  --max-length DOTS       stop the paper when a piece would grow past DOTS dot rows\n"
    "                          (default 20000); what reached the limit is written\n"
    "  --listing FILE          write the decoded commands to FILE as they arrive\n"
    "  --width DOTS            printable width of the paper: 384, 576 (default) or 640\n"
    "  --charset SET           the printer's character set beyond its code pages: gb18030\n"
    "                          (default), gbk or big5, read in Chinese mode (FS &); or utf8,\n"
    "                          read in or out of it, wide characters full-width. Bytes the\n"
    "                          set cannot read print as an outlined box one Chinese cell\n"
    "                          wide (under gbk and big5 for the lead byte; the byte after\n"
    "                          it prints as a single-byte character)\n"
    "  --help                  this text\n"
    "  --version               the kit's version\n"
    "Control commands (HEX: pairs of hex digits, blanks allowed in send and send-after):\n"
    "  send HEX   send-after MS HEX   reply REQHEX REPLYHEX   clear-rules   hangup   quit\n"
    "  (hangup closes a TCP client's connection; the next client is served; quit renders\n"
    "  everything received, SIGTERM and SIGINT only the piece in progress)\n"
    "  state [COND...]   replaces the state (none or ok: ready) and answers from it\n"
    "  reading off|on    stops reading the lines (a jammed printer), or reads again\n";

// The most --max-pieces and --max-length accept.
constexpr long long kMostPaper = 1000000;

[[noreturn]] void usage(const char* why) {
    std::fprintf(stderr, "virtual-printer: %s\n%s", why, kUsage);
    std::exit(2);  // NOLINT(concurrency-mt-unsafe): at start-up, before any thread runs
}

// Adds a condition named on the command line or a control line; "ok" adds none.
bool addCondition(vprinter::Conditions& conditions, const std::string& name) {
    if (name == "ok") return true;
    const auto condition = vprinter::conditionNamed(name);
    if (condition) conditions.add(*condition);
    return condition.has_value();
}

std::optional<Bytes> parseHex(const std::string& text, bool allowBlanks) {
    Bytes bytes;
    int high = -1;
    for (const char c : text) {
        if (allowBlanks && (c == ' ' || c == '\t')) {
            if (high >= 0) return std::nullopt;  // a lone digit
            continue;
        }
        int value;
        if (c >= '0' && c <= '9')
            value = c - '0';
        else if (c >= 'a' && c <= 'f')
            value = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            value = c - 'A' + 10;
        else
            return std::nullopt;
        if (high < 0) {
            high = value;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high << 4 | value));
            high = -1;
        }
    }
    if (high >= 0 || bytes.empty()) return std::nullopt;
    return bytes;
}

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) usage(("missing value after " + arg).c_str());
            return argv[++i];
        };
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);  // NOLINT(concurrency-mt-unsafe): at start-up, before any thread runs
        } else if (arg == "--version") {
            kit::printVersion("virtual-printer");
            std::exit(0);  // NOLINT(concurrency-mt-unsafe): at start-up, before any thread runs
        } else if (arg == "--link") {
            options.link = value();
        } else if (arg == "--tcp" || arg == "--web") {
            const std::string port = value();
            char* end = nullptr;
            const long number = std::strtol(port.c_str(), &end, 10);
            if (port.empty() || *end != '\0' || port[0] == '-' || number < 0 || number > 65535)
                usage(("bad " + arg).append(" ").append(port).c_str());
            (arg == "--tcp" ? options.tcpPort : options.webPort) = static_cast<std::uint16_t>(number);
        } else if (arg == "--record") {
            options.record = value();
        } else if (arg == "--control") {
            options.control = value();
        } else if (arg == "--reply") {
            const std::string rule = value();
            const auto equals = rule.find('=');
            std::optional<Bytes> request, reply;
            if (equals != std::string::npos) {
                request = parseHex(rule.substr(0, equals), false);
                reply = parseHex(rule.substr(equals + 1), false);
            }
            if (!request || !reply) usage(("bad --reply " + rule).c_str());
            options.replies.emplace_back(*request, *reply);
        } else if (arg == "--stop-reading-after") {
            const std::string count = value();
            char* end = nullptr;
            options.stopReadingAfter = std::strtoll(count.c_str(), &end, 10);
            if (count.empty() || *end != '\0' || options.stopReadingAfter < 0)
                usage(("bad --stop-reading-after " + count).c_str());
        } else if (arg == "--show") {
            options.show = true;
            options.printout.announce = true;
        } else if (arg == "--state") {
            const std::string name = value();
            if (!options.conditions) options.conditions.emplace();
            if (!addCondition(*options.conditions, name)) usage(("unknown --state " + name).c_str());
        } else if (arg == "--paper") {
            options.printout.paperPrefix = value();
            if (options.printout.paperPrefix.empty()) usage("--paper needs a prefix");
        } else if (arg == "--max-pieces" || arg == "--max-length") {
            const std::string count = value();
            char* end = nullptr;
            const long long number = std::strtoll(count.c_str(), &end, 10);
            if (count.empty() || *end != '\0' || number < 1 || number > kMostPaper)
                usage(("bad " + arg).append(" ").append(count).c_str());
            (arg == "--max-pieces" ? options.printout.maxPieces : options.printout.maxLength) =
                static_cast<int>(number);
        } else if (arg == "--listing") {
            options.printout.listing = value();
            if (options.printout.listing.empty()) usage("--listing needs a file");
        } else if (arg == "--width") {
            const std::string width = value();
            if (width != "384" && width != "576" && width != "640")
                usage(("--width must be 384, 576 or 640, not " + width).c_str());
            options.printout.width = std::stoi(width);
        } else if (arg == "--charset") {
            const std::string name = value();
            const auto charset = escpos::charsetNamed(name);
            if (!charset) usage(("--charset must be gb18030, gbk, big5 or utf8, not " + name).c_str());
            options.printout.charset = *charset;
        } else {
            usage(("unknown argument " + arg).c_str());
        }
    }
    if (options.link.empty() && !options.tcpPort) usage("--link or --tcp is required");
    return options;
}

void writeAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, p, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            std::perror("virtual-printer: record");
            return;
        }
        p += written;
        size -= static_cast<std::size_t>(written);
    }
}

// One line per 16 bytes: offset in the stream, hex, printable ASCII.
void showChunk(std::span<const std::uint8_t> chunk, std::size_t offset) {
    for (std::size_t line = 0; line < chunk.size(); line += 16) {
        std::string hex, text;
        for (std::size_t i = line; i < line + 16; ++i) {
            char cell[4] = "   ";
            if (i < chunk.size()) {
                std::snprintf(cell, sizeof cell, "%02x ", chunk[i]);
                text += chunk[i] >= 0x20 && chunk[i] < 0x7f ? static_cast<char>(chunk[i]) : '.';
            }
            hex += cell;
        }
        std::printf("%08zx  %s |%s|\n", offset + line, hex.c_str(), text.c_str());
    }
    std::fflush(stdout);
}

using Printers = std::vector<std::unique_ptr<vprinter::VirtualPrinter>>;

// The state command of the control FIFO and the live view's controls both
// come here, one at a time, so that a change from one is not lost to the other.
std::mutex stateMutex;

void setState(const Printers& printers, vprinter::Conditions conditions) {
    std::lock_guard lock(stateMutex);
    for (const auto& printer : printers) printer->setConditions(conditions);
}

// One condition on or off, the rest as the (first) printer has them now.
void changeState(const Printers& printers, vprinter::Condition condition, bool on) {
    std::lock_guard lock(stateMutex);
    vprinter::Conditions conditions = printers.front()->conditions();
    if (on)
        conditions.add(condition);
    else
        conditions.remove(condition);
    for (const auto& printer : printers) printer->setConditions(conditions);
}

// Runs one control line on every printer; false for quit. Errors are reported and ignored.
bool runCommand(const Printers& printers, const std::string& line) {
    std::istringstream in(line);
    std::string command;
    if (!(in >> command)) return true;
    auto rest = [&] {
        std::string tail;
        std::getline(in, tail);
        return tail;
    };
    auto bad = [&] {
        std::fprintf(stderr, "virtual-printer: bad control line: %s\n", line.c_str());
        return true;
    };
    try {
        if (command == "quit") return false;
        if (command == "send") {
            const auto bytes = parseHex(rest(), true);
            if (!bytes) return bad();
            for (const auto& printer : printers) printer->send(*bytes);
        } else if (command == "send-after") {
            long ms = -1;
            if (!(in >> ms) || ms < 0) return bad();
            const auto bytes = parseHex(rest(), true);
            if (!bytes) return bad();
            for (const auto& printer : printers) printer->sendAfter(std::chrono::milliseconds(ms), *bytes);
        } else if (command == "reply") {
            std::string requestHex, replyHex, extra;
            if (!(in >> requestHex >> replyHex) || (in >> extra)) return bad();
            const auto request = parseHex(requestHex, false);
            const auto reply = parseHex(replyHex, false);
            if (!request || !reply) return bad();
            for (const auto& printer : printers) printer->replyTo(*request, *reply);
        } else if (command == "clear-rules") {
            for (const auto& printer : printers) printer->clearRules();
        } else if (command == "hangup") {
            for (const auto& printer : printers) printer->hangUp();
        } else if (command == "reading") {
            std::string onOff, extra;
            if (!(in >> onOff) || (onOff != "on" && onOff != "off") || (in >> extra)) return bad();
            for (const auto& printer : printers) printer->setReading(onOff == "on");
        } else if (command == "state") {
            vprinter::Conditions conditions;
            for (std::string name; in >> name;)
                if (!addCondition(conditions, name)) return bad();
            setState(printers, conditions);
        } else {
            return bad();
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "virtual-printer: %s: %s\n", line.c_str(), e.what());
    }
    return true;
}

// Opens the control FIFO for reading, creating it if missing. A write
// descriptor of our own stays open so that a writer closing never reads as
// end of file, and poll does not report a hang-up between writers. The lock
// keeps a second printer off the same FIFO: it would take lines meant for us.
bool openControl(const std::string& path, int& readFd, int& writeFd) {
    if (::mkfifo(path.c_str(), 0666) < 0 && errno != EEXIST) {
        std::perror(("virtual-printer: mkfifo " + path).c_str());
        return false;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) < 0 || !S_ISFIFO(info.st_mode)) {
        std::fprintf(stderr, "virtual-printer: %s exists and is not a FIFO\n", path.c_str());
        return false;
    }
    readFd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    writeFd = readFd < 0 ? -1 : ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (readFd < 0 || writeFd < 0) {
        std::perror(("virtual-printer: open " + path).c_str());
        return false;
    }
    if (::flock(readFd, LOCK_EX | LOCK_NB) < 0) {
        std::fprintf(stderr, "virtual-printer: another virtual printer reads %s\n", path.c_str());
        return false;
    }
    return true;
}

// A stale link from an earlier run is replaced; anything else is left alone.
bool makeLink(const std::string& target, const std::string& link) {
    struct stat info {};
    if (::lstat(link.c_str(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            std::fprintf(stderr, "virtual-printer: %s exists and is not a symbolic link\n", link.c_str());
            return false;
        }
        ::unlink(link.c_str());
    }
    if (::symlink(target.c_str(), link.c_str()) < 0) {
        std::perror(("virtual-printer: symlink " + link).c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);

    // Blocked before the printer's thread starts, so that only signalfd sees them.
    sigset_t endSignals;
    sigemptyset(&endSignals);
    sigaddset(&endSignals, SIGTERM);
    sigaddset(&endSignals, SIGINT);
    sigaddset(&endSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &endSignals, nullptr);
    const int signalFd = ::signalfd(-1, &endSignals, SFD_CLOEXEC);
    if (signalFd < 0) {
        std::perror("virtual-printer: signalfd");
        return 1;
    }

    int recordFd = -1;
    if (!options.record.empty()) {
        recordFd = ::open(options.record.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
        if (recordFd < 0) {
            std::perror(("virtual-printer: " + options.record).c_str());
            return 1;
        }
    }
    int controlFd = -1, controlWriteFd = -1;
    if (!options.control.empty() && !openControl(options.control, controlFd, controlWriteFd)) return 1;

    std::unique_ptr<vprinter::LivePaper> livePaper;
    if (options.webPort) livePaper = std::make_unique<vprinter::LivePaper>(options.printout.width);
    std::unique_ptr<vprinter::Printout> printout;
    if (!options.printout.listing.empty() || !options.printout.paperPrefix.empty() || livePaper) {
        try {
            printout = std::make_unique<vprinter::Printout>(options.printout, livePaper.get());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "virtual-printer: %s\n", e.what());
            return 2;
        }
    }

    // What the printers' threads share; outlives the printers.
    std::mutex sinkMutex;
    std::size_t shown = 0;
    Printers printers;
    try {
        if (!options.link.empty()) printers.push_back(std::make_unique<vprinter::VirtualPrinter>());
        if (options.tcpPort)
            printers.push_back(
                std::make_unique<vprinter::VirtualPrinter>(vprinter::VirtualPrinter::TcpPort{*options.tcpPort}));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "virtual-printer: %s\n", e.what());
        return 1;
    }
    // Where the paper keeps NV graphics from earlier runs, the printers'
    // answers about their memory count them too.
    if (!options.printout.paperPrefix.empty() || options.webPort) {
        escpos::GraphicsStore nv(escpos::kNvGraphicsCapacity);
        escpos::loadNvStore(vprinter::kNvStore, &nv);
        for (const auto& printer : printers) printer->setNvGraphics(nv);
    }
    // A full buffer stops every line: the printers share the paper.
    if (printout)
        printout->onBufferFull([&printers](bool full) {
            for (const auto& printer : printers) printer->setBufferFull(full);
        });
    for (const auto& printer : printers) {
        for (const auto& [request, reply] : options.replies) printer->replyTo(request, reply);
        if (options.conditions) printer->setConditions(*options.conditions);
        if (options.stopReadingAfter >= 0)
            printer->stopReadingAfter(static_cast<std::size_t>(options.stopReadingAfter));
        printer->onReceive([&](std::span<const std::uint8_t> chunk) {
            std::lock_guard lock(sinkMutex);
            if (recordFd >= 0) writeAll(recordFd, chunk.data(), chunk.size());
            if (options.show) showChunk(chunk, shown);
            if (printout) printout->receive(chunk);
            shown += chunk.size();
        });
    }

    std::unique_ptr<vprinter::WebView> web;
    if (options.webPort) {
        try {
            web = std::make_unique<vprinter::WebView>(
                *options.webPort, *livePaper,
                vprinter::WebControls{
                    [&printers] { return printers.front()->conditions(); },
                    [&printers](vprinter::Condition condition, bool on) { changeState(printers, condition, on); }});
        } catch (const std::exception& e) {
            std::fprintf(stderr, "virtual-printer: %s\n", e.what());
            return 1;
        }
        std::printf("virtual-printer: web view on http://127.0.0.1:%u/\n", web->port());
    }

    if (!options.link.empty()) {
        if (!makeLink(printers.front()->devicePath(), options.link)) return 1;
        std::printf("virtual-printer: %s -> %s\n", options.link.c_str(), printers.front()->devicePath().c_str());
    }
    if (options.tcpPort) std::printf("virtual-printer: listening on 127.0.0.1:%u\n", printers.back()->tcpPort());
    std::fflush(stdout);

    std::string pending;
    bool running = true;
    bool signalled = false;
    while (running) {
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {controlFd, POLLIN, 0}};
        const nfds_t count = controlFd >= 0 ? 2 : 1;
        if (::poll(fds, count, -1) < 0) {
            if (errno == EINTR) continue;
            std::perror("virtual-printer: poll");
            break;
        }
        if (fds[0].revents & POLLIN) {
            signalled = true;
            break;
        }
        if (count == 2 && (fds[1].revents & POLLIN)) {
            char buffer[4096];
            const ssize_t got = ::read(controlFd, buffer, sizeof buffer);
            if (got > 0) pending.append(buffer, static_cast<std::size_t>(got));
            std::size_t end;
            while (running && (end = pending.find('\n')) != std::string::npos) {
                std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                running = runCommand(printers, line);
            }
        }
    }

    if (printout) {
        if (signalled) printout->stop();
        printout->onBufferFull(nullptr);  // before the printers go
    }
    web.reset();  // its controls use the printers
    if (!options.link.empty()) ::unlink(options.link.c_str());
    printers.clear();  // no more bytes arrive after this
    if (printout) printout->finish();
    return 0;
}
