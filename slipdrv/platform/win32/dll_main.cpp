// The entry point of slipdrv.dll. It only notes whether a detach is the
// process ending (reserved is not null) rather than the library being
// unloaded: Windows has ended every other thread by then, perhaps while it
// held a lock of the serial channel, so the channel is not shut down.
// The C runtime calls this before it destroys the library's state.
#include <windows.h>

#include "port_control.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && reserved) slipdrv::library().processEnding = true;
    return TRUE;
}
