// vocalcue on Linux: the request is the program's arguments joined with single
// spaces. Nothing is written to stdout or stderr and the exit status is 0.
#include <string>

#include "../../startup.h"
#include "../platform.h"
#include "common/utf.h"

int main(int argc, char** argv) {
    try {
        std::string joined;
        for (int i = 1; i < argc; ++i) {
            if (i > 1) joined.push_back(' ');
            joined += argv[i];
        }
        auto settings = vocalcue::makeSettings();
        auto sound = vocalcue::makeSoundDevice();
        vocalcue::open(kit::utf8ToUtf16(joined), *settings, *sound);
    } catch (...) {
        // An announcement that cannot go on ends in silence.
    }
    return 0;
}
