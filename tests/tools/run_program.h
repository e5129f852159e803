// Runs one of the kit's programs to its end with its output captured, for the
// tests of the programs as people run them. Linux only.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace kittest {

struct Finished {
    int status = -1;  // the exit status; -1 when it did not exit
    std::string out, err;
};

inline std::string readFile(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// argv[0] is the program's path; `environment` ("NAME=value") comes ahead of ours.
inline Finished runProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {}) {
    char dirTemplate[] = "/tmp/kit-run-XXXXXX";
    const std::string dir = mkdtemp(dirTemplate);
    const std::string outPath = dir + "/out", errPath = dir + "/err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> args, env;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& e : environment) env.push_back(const_cast<char*>(e.c_str()));
    for (char** e = environ; *e; ++e) env.push_back(*e);
    env.push_back(nullptr);
    Finished finished;
    pid_t pid = -1;
    int status = 0;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), env.data()) == 0 &&
        waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        finished.status = WEXITSTATUS(status);
    posix_spawn_file_actions_destroy(&actions);
    finished.out = readFile(outPath);
    finished.err = readFile(errPath);
    unlink(outPath.c_str());
    unlink(errPath.c_str());
    rmdir(dir.c_str());
    return finished;
}

}  // namespace kittest
