// Ends a thread whose function has returned, as the platform allows.
//
// On Windows a thread that has returned still has to pass the loader lock to
// exit, and a library being unloaded holds that lock while its state closes
// its ports: joining there would wait forever. Such a thread runs none of the
// library's code any more, so it is let go instead once a short grace has
// passed. Elsewhere the thread is joined.
#pragma once

#include <thread>

namespace slipdrv {

void endReturnedThread(std::thread& thread);

}  // namespace slipdrv
