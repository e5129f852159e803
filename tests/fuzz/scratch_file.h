// A file of this process's own for harnesses whose code under test takes a
// path: made once in the temporary folder, rewritten with every input and
// removed when the process ends.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace kit::fuzz {

class ScratchFile {
public:
    explicit ScratchFile(const char* stem) {
        const char* dir = std::getenv("TMPDIR");
        path_ = std::string(dir && *dir ? dir : "/tmp") + "/" + stem + "-XXXXXX";
        const int fd = mkstemp(path_.data());
        if (fd < 0) {
            std::perror("mkstemp");
            std::abort();
        }
        close(fd);
    }
    ~ScratchFile() { unlink(path_.c_str()); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Replaces the file's content; returns its path.
    const char* write(const std::uint8_t* data, std::size_t size) {
        std::FILE* f = std::fopen(path_.c_str(), "wb");
        if (!f || (size > 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) {
            std::perror(path_.c_str());
            std::abort();
        }
        return path_.c_str();
    }
    const char* path() const { return path_.c_str(); }

private:
    std::string path_;
};

}  // namespace kit::fuzz
