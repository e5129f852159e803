// The pixel rows of a Windows bitmap file turned into colours: 1, 4 and 8 bits
// through the colour table, 16 and 32 bits through bit-field masks, 24 and 32
// bits plain. The file is read a few rows at a time, so what is held at once
// does not grow with the image.
#pragma once

#include <cstdint>
#include <span>

#include "bitmap_header.h"
#include "bitmap_loader.h"

namespace slipdrv {

// Reads from a file at any offset.
class FileBytes {
public:
    virtual ~FileBytes() = default;
    // Fills `bytes` from `offset` on; false when the file ends first or the read fails.
    virtual bool readAt(std::uint64_t offset, std::span<std::uint8_t> bytes) = 0;
};

// Hands every row's left `columns` pixels (1 to the width) to `rows`. False
// when the file is of a kind not decoded here (run-length or embedded
// compression, a depth or masks a bitmap does not have, no colour table) or
// ends before its rows do.
bool readBitmapRows(const BitmapHeader& header, FileBytes& file, int columns, PixelRows& rows);

}  // namespace slipdrv
