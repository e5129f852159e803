// A returned thread that cannot finish exiting within the grace is waiting
// for the loader lock (the library is being unloaded): it is let go.
#include <pthread.h>
#include <windows.h>

#include "../../thread_end.h"

namespace slipdrv {
namespace {

// Far longer than a returned thread takes to exit when nothing holds it up.
constexpr DWORD kExitGraceMs = 100;

}  // namespace

void endReturnedThread(std::thread& thread) {
    const HANDLE handle = pthread_gethandle(thread.native_handle());
    if (!handle || WaitForSingleObject(handle, kExitGraceMs) == WAIT_OBJECT_0) {
        thread.join();
    } else {
        thread.detach();
    }
}

}  // namespace slipdrv
