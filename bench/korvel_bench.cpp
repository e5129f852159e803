// Korvel's SendData against the simulated table controller (a Modbus RTU server) on a
// pseudo-terminal: the whole call, which holds a fixed 500 ms pause, and the
// port set-up on its own. Linux only; run by hand (see README.md), not by
// ctest.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "form1.h"
#include "korvel.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// The slave at address 1, with KORVEL_COM1 pointing at its pseudo-terminal.
class Slave {
public:
    Slave() {
        char tmpl[] = "/tmp/korvel-bench-XXXXXX";
        dir_ = mkdtemp(tmpl);
        link_ = dir_ + "/com1";
        const char* argv[] = {TABLE_CONTROLLER, "--link", link_.c_str(), "--address", "1", nullptr};
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn(&pid_, TABLE_CONTROLLER, &quiet, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&quiet);
        for (int i = 0; i < 500 && access(link_.c_str(), F_OK) != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        setenv("KORVEL_COM1", link_.c_str(), 1);
    }
    ~Slave() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        unlink(link_.c_str());
        rmdir(dir_.c_str());
        unsetenv("KORVEL_COM1");
    }
    bool ready() const { return access(link_.c_str(), F_OK) == 0; }

private:
    std::string dir_, link_;
    pid_t pid_ = -1;
};

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One call as a host makes it: open, frame, 500 ms pause, reply, close.
// `beyond_pause_ms` is what the call costs besides the pause.
void BM_SendData(benchmark::State& state) {
    Slave slave;
    if (!slave.ready()) return state.SkipWithError("table-controller did not start");
    korvel::ClsKorvel cls;
    double beyond = 0;
    for (auto _ : state) {
        std::int16_t a = 1;
        std::string datas = "1010";
        const auto start = Clock::now();
        const std::int16_t result = cls.SendData(a, datas);
        const double ms = msSince(start);
        if (result != 0) return state.SkipWithError("the slave's reply did not start with its address");
        state.SetIterationTime(ms / 1000);
        beyond += ms - korvel::Form1::kPauseMs;
    }
    state.counters["beyond_pause_ms"] = benchmark::Counter(beyond / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_SendData)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// The port set-up alone (InitComm on the real control, then closing the
// port): the part of a call that is not the pause or the frame.
void BM_PortSetUp(benchmark::State& state) {
    Slave slave;
    if (!slave.ready()) return state.SkipWithError("table-controller did not start");
    korvel::Form1 form(korvel::makeSerialControl(), [](unsigned) {});
    for (auto _ : state) {
        form.InitComm();
        form.myComm().PortOpen(false);
    }
}
BENCHMARK(BM_PortSetUp)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
