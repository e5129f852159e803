// Errors of the sender: a number and a description, as an automation caller
// sees them. 6, 7 and 9 are the language runtime's overflow, out-of-memory
// and index errors; the serial control's own errors are 380 and from 8000 up
// (see serial_control.h). The numbers and the exception class are those of
// the public header, so that a host catches what the core throws.
#pragma once

#include "korvel.h"

namespace korvel {

constexpr int kErrOverflow = KORVEL_ERR_OVERFLOW;
constexpr int kErrOutOfMemory = KORVEL_ERR_OUT_OF_MEMORY;
constexpr int kErrSubscript = KORVEL_ERR_NO_REPLY;

[[noreturn]] inline void raiseOverflow() { throw KorvelError(kErrOverflow, "Overflow"); }
[[noreturn]] inline void raiseSubscript() { throw KorvelError(kErrSubscript, "Subscript out of range"); }

// What an entry point reports for an exception that is not a KorvelError:
// nothing but an allocation fails any other way inside the sender.
inline KorvelError outOfMemoryError() { return KorvelError(kErrOutOfMemory, "Out of memory"); }

}  // namespace korvel
