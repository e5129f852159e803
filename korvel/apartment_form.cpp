#include "form1.h"

namespace korvel {

// Threads are the apartments: each gets its own form and control, kept
// until the thread ends.
Form1& apartmentForm() {
    thread_local std::unique_ptr<Form1> form;
    if (!form) form = std::make_unique<Form1>(makeSerialControl(), pauseMs);
    return *form;
}

}  // namespace korvel
