// The live view's page, built into the program from web/index.html (see
// web/embed.cmake), so that it needs nothing from elsewhere.
#pragma once

#include <cstddef>

namespace vprinter {

extern const char kLiveViewPage[];
extern const std::size_t kLiveViewPageSize;

}  // namespace vprinter
