// The NV images, and the file that keeps them from one run to the next.
// No platform code.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "bitmap.h"
#include "graphics_memory.h"

namespace escpos {

// The images FS q defines, with the definition as it arrived (the image
// count, then the payload) for the store.
struct NvImages {
    std::vector<Bitmap> images;
    std::vector<std::uint8_t> definition;
};

// The images of an FS q definition of `count` images; none when the payload
// is not exactly those images.
std::optional<NvImages> parseNvImages(std::uint32_t count, std::span<const std::uint8_t> payload);

// The store: a magic, a 32-bit length of what follows, then the image count
// and the images as FS q sends them. A missing, short or corrupt file gives
// no images. The NV graphics of GS ( L may follow: a second magic, a 32-bit
// length and the graphics as GraphicsStore::serialized() gives them; a
// store without them (as earlier runs wrote it) has none, and a corrupt
// graphics part loses only the graphics.
NvImages loadNvStore(const std::string& path, GraphicsStore* graphics = nullptr);
// Replaces the store in one step, so that a run stopped halfway leaves the
// old images; a store that cannot be written is left as it was. The graphics
// part is written only when there are graphics.
void saveNvStore(const std::string& path, const NvImages& nv, const GraphicsStore* graphics = nullptr);

}  // namespace escpos
