#include "../../thread_end.h"

namespace slipdrv {

void endReturnedThread(std::thread& thread) { thread.join(); }

}  // namespace slipdrv
