// Paper written as a PNG file, one pixel a dot. No platform code.
#pragma once

#include <string>

#include "bitmap.h"

namespace escpos {

// Writes the paper as a 1-bit greyscale PNG; false if the file cannot be written.
bool writePng(const Paper& paper, const std::string& path);

}  // namespace escpos
