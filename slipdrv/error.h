// What goes wrong inside the library: a resource that cannot be made (an
// event, a thread, memory for received bytes), with the text that says which.
// Raised where it happens and turned into the export's result at the export
// boundary; it never reaches the host.
#pragma once

#include <exception>

namespace slipdrv {

class Error final : public std::exception {
public:
    explicit Error(const char* message) noexcept : message_(message) {}
    const char* what() const noexcept override { return message_; }

private:
    const char* message_;  // a string literal: it lives as long as the program
};

}  // namespace slipdrv
