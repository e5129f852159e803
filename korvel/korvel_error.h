// Errors of the sender: a number and a description, as an automation caller
// sees them. 6, 7 and 9 are the language runtime's overflow, out-of-memory
// and index errors; the serial control's own errors are 380 and from 8000 up
// (see serial_control.h).
#pragma once

#include <stdexcept>
#include <string>

namespace korvel {

constexpr int kErrOverflow = 6;
constexpr int kErrOutOfMemory = 7;
constexpr int kErrSubscript = 9;

class KorvelError : public std::runtime_error {
public:
    KorvelError(int number, const std::string& description) : std::runtime_error(description), number_(number) {}
    int number() const { return number_; }
    std::string description() const { return what(); }

private:
    int number_;
};

[[noreturn]] inline void raiseOverflow() { throw KorvelError(kErrOverflow, "Overflow"); }
[[noreturn]] inline void raiseSubscript() { throw KorvelError(kErrSubscript, "Subscript out of range"); }

// What an entry point reports for an exception that is not a KorvelError:
// nothing but an allocation fails any other way inside the sender.
inline KorvelError outOfMemoryError() { return KorvelError(kErrOutOfMemory, "Out of memory"); }

}  // namespace korvel
