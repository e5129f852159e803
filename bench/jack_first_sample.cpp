// Measures, on a running JACK server, how long a program takes from its start
// to the moment its first sample enters the JACK graph.
//
//   jack_first_sample PROGRAM [ARGS...]
//
// Registers the JACK client "vcprobe" with one input port "in", starts PROGRAM
// (whose ALSA output should be routed to vcprobe:in), and watches the port for
// the first nonzero sample. Prints one line, in microseconds of JACK's clock:
//
//   <start to first sample> <start to program exit>
//
// "First sample" is the frame time of that sample within the JACK cycle that
// carried it: when the graph took it, before any output latency of a device.
// The process is started after JACK's clock is read, so fork and exec count.
// Exit status 1 when the program played nothing within 10 s or JACK is missing.
#include <jack/jack.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

extern char** environ;

namespace {

struct Probe {
    jack_client_t* client = nullptr;
    jack_port_t* port = nullptr;
    std::atomic<unsigned> cycles{0};
    std::atomic<bool> armed{false};
    std::atomic<jack_time_t> firstSample{0};
};

int onProcess(jack_nframes_t frames, void* arg) {
    auto* probe = static_cast<Probe*>(arg);
    probe->cycles.fetch_add(1, std::memory_order_relaxed);
    if (!probe->armed.load(std::memory_order_acquire) || probe->firstSample.load(std::memory_order_relaxed) != 0) {
        return 0;
    }
    const auto* in = static_cast<const jack_default_audio_sample_t*>(jack_port_get_buffer(probe->port, frames));
    for (jack_nframes_t i = 0; i < frames; ++i) {
        if (std::fabs(in[i]) > 1e-6f) {
            const jack_nframes_t frame = jack_last_frame_time(probe->client) + i;
            probe->firstSample.store(jack_frames_to_time(probe->client, frame), std::memory_order_release);
            break;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    Probe probe;
    jack_status_t status{};
    probe.client =
        jack_client_open("vcprobe", static_cast<jack_options_t>(JackNoStartServer | JackUseExactName), &status);
    if (probe.client == nullptr) {
        std::fprintf(stderr, "cannot open a JACK client (status 0x%x)\n", static_cast<unsigned>(status));
        return 1;
    }
    probe.port = jack_port_register(probe.client, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    if (probe.port == nullptr || jack_set_process_callback(probe.client, onProcess, &probe) != 0 ||
        jack_activate(probe.client) != 0) {
        std::fprintf(stderr, "cannot set up the JACK port\n");
        jack_client_close(probe.client);
        return 1;
    }

    // Let the server finish taking this client into its graph, so that the
    // program's own connection is not queued behind ours.
    for (int i = 0; i < 200 && probe.cycles.load(std::memory_order_relaxed) < 4; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    probe.armed.store(true, std::memory_order_release);
    const jack_time_t start = jack_get_time();
    pid_t child = 0;
    if (posix_spawnp(&child, argv[1], nullptr, nullptr, argv + 1, environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[1]);
        jack_client_close(probe.client);
        return 1;
    }
    int childStatus = 0;
    waitpid(child, &childStatus, 0);
    const jack_time_t exited = jack_get_time();

    // The program normally exits after its sound has been taken; allow a
    // little more for a program that exits earlier than its last cycle.
    for (int i = 0; i < 100 && probe.firstSample.load(std::memory_order_acquire) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const jack_time_t first = probe.firstSample.load(std::memory_order_acquire);
    jack_client_close(probe.client);
    if (first == 0) {
        std::fprintf(stderr, "no sample reached vcprobe:in\n");
        return 1;
    }
    std::printf("%lld %lld\n", static_cast<long long>(first) - static_cast<long long>(start),
                static_cast<long long>(exited) - static_cast<long long>(start));
    return 0;
}
