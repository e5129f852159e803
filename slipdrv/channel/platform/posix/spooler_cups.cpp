// Printer queues on Linux: CUPS, through libcups. A job has a connection of
// its own to the scheduler, because its document is streamed over it from
// the first write to the end; the other steps use the thread's default
// connection (CUPS_SERVER or the client configuration says where it goes).
#include <cups/cups.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <string_view>

#include "../../spooler.h"

namespace slipdrv {
namespace {

// A scheduler that stops answering fails the step after this long.
constexpr double kReplyTimeoutSeconds = 10.0;
constexpr int kConnectTimeoutMs = 10000;

bool succeeded(ipp_status_t status) { return status < IPP_STATUS_REDIRECTION_OTHER_SITE; }

class CupsJob final : public SpoolJob {
public:
    CupsJob(http_t* connection, std::string queue, int id)
        : connection_(connection), queue_(std::move(queue)), id_(id) {}
    ~CupsJob() override {
        httpClose(connection_);
        if (!ended_) cupsCancelJob2(CUPS_HTTP_DEFAULT, queue_.c_str(), id_, 0);
    }
    CupsJob(const CupsJob&) = delete;
    CupsJob& operator=(const CupsJob&) = delete;

    bool write(std::span<const std::uint8_t> bytes) override {
        // cupsWriteRequestData takes an int length.
        while (!bytes.empty()) {
            const std::size_t piece = std::min<std::size_t>(bytes.size(), INT_MAX);
            if (cupsWriteRequestData(connection_, reinterpret_cast<const char*>(bytes.data()), piece) !=
                HTTP_STATUS_CONTINUE)
                return false;
            bytes = bytes.subspan(piece);
        }
        return true;
    }

    bool end() override {
        ended_ = succeeded(cupsFinishDocument(connection_, queue_.c_str()));
        return ended_;
    }

private:
    http_t* const connection_;
    const std::string queue_;
    const int id_;
    bool ended_ = false;
};

class CupsSpooler final : public Spooler {
public:
    std::string defaultQueue() override {
        cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
        if (!dest) return {};
        std::string name = dest->name;
        cupsFreeDests(1, dest);
        return name;
    }

    std::vector<std::string> queues() override {
        cups_dest_t* dests = nullptr;
        const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
        std::vector<std::string> names;
        for (int i = 0; i < count; ++i) {
            // Instances are option sets of a queue, not queues.
            if (!dests[i].instance) names.emplace_back(dests[i].name);
        }
        cupsFreeDests(count, dests);
        return names;
    }

    bool usable(const std::string& queue) override {
        cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.c_str(), nullptr);
        if (!dest) return false;
        const char* state = cupsGetOption("printer-state", dest->num_options, dest->options);
        const char* accepting = cupsGetOption("printer-is-accepting-jobs", dest->num_options, dest->options);
        const bool stopped = state && std::string_view(state) == std::to_string(IPP_PSTATE_STOPPED);
        const bool refusing = accepting && std::string_view(accepting) == "false";
        cupsFreeDests(1, dest);
        return !stopped && !refusing;
    }

    std::unique_ptr<SpoolJob> begin(const std::string& queue, const std::string& title) override {
        http_t* connection =
            httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, kConnectTimeoutMs, nullptr);
        if (!connection) return nullptr;
        httpSetTimeout(connection, kReplyTimeoutSeconds, nullptr, nullptr);
        const int id = cupsCreateJob(connection, queue.c_str(), title.c_str(), 0, nullptr);
        if (id <= 0) {
            httpClose(connection);
            return nullptr;
        }
        auto job = std::make_unique<CupsJob>(connection, queue, id);
        if (cupsStartDocument(connection, queue.c_str(), id, title.c_str(), CUPS_FORMAT_RAW, 1) != HTTP_STATUS_CONTINUE)
            return nullptr;  // the job is cancelled as it goes
        return job;
    }

    std::string programName() override {
        char path[PATH_MAX];
        const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
        if (length <= 0) return "slipdrv";
        const std::string_view full(path, static_cast<std::size_t>(length));
        return std::string(full.substr(full.rfind('/') + 1));
    }
};

}  // namespace

std::unique_ptr<Spooler> systemSpooler() { return std::make_unique<CupsSpooler>(); }

}  // namespace slipdrv
