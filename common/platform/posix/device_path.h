// Linux device paths for the ports a host names by number.
#pragma once

#include <string>

namespace kit {

// The path in the environment variable <variablePrefix><port> when it is set
// and not empty, otherwise <defaultPrefix><port - 1> (COM1 is /dev/ttyS0).
std::string devicePath(const char* variablePrefix, const char* defaultPrefix, int port);

}  // namespace kit
