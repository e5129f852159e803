// The graphics functions of GS ( L and GS 8 L, read from their payload
// (m fn and the parameters), and the printer's two graphics memories: the
// download graphics, kept until the printer is switched off, and the NV
// graphics, kept in the NV store. The renderer draws from these memories and
// the virtual printer answers the capacity and key-code queries from its own
// copy, both kept by GraphicsMemory::apply(), so the two agree. No platform
// code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

namespace escpos {

// One monochrome graphic as rows of (width + 7) / 8 bytes, the leftmost dot
// in bit 7.
struct Graphic {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rows;
    std::size_t rowBytes() const { return (static_cast<std::size_t>(width) + 7) / 8; }
};

// The largest graphic a function accepts, in dots each way.
constexpr int kMaxGraphicWidth = 8192, kMaxGraphicHeight = 8192;

// A graphic of width x height dots from `data`: rows of (width + 7) / 8 bytes
// (bit 7 leftmost), or with `columns` x columns of (height + 7) / 8 bytes
// (bit 7 on top). None when the size is out of range or the data is not
// exactly that long.
std::optional<Graphic> graphicFromData(std::uint32_t width, std::uint32_t height, bool columns,
                                       std::span<const std::uint8_t> data);

// A function's key code, kc1 and kc2 as one value (kc1 in the high byte);
// both are printable characters 20h-7Eh.
std::optional<std::uint16_t> graphicKey(std::uint8_t kc1, std::uint8_t kc2);

// The graphics of one memory by key code, and the bytes they take: the rows
// of each graphic.
class GraphicsStore {
public:
    explicit GraphicsStore(std::size_t capacity = 0) : capacity_(capacity) {}

    std::size_t capacity() const { return capacity_; }
    std::size_t used() const { return used_; }
    std::size_t remaining() const { return capacity_ - used_; }
    const std::map<std::uint16_t, Graphic>& graphics() const { return graphics_; }
    const Graphic* find(std::uint16_t key) const;

    // Replaces the graphic of the key; refused (false, the memory unchanged)
    // when the memory would then hold more than its capacity.
    bool define(std::uint16_t key, Graphic graphic);
    bool erase(std::uint16_t key);
    bool clear();  // false when it was empty

    // The graphics as the NV store keeps them: per graphic kc1 kc2 wL wH hL
    // hH and its rows. load() takes none from bytes that are not exactly that.
    std::vector<std::uint8_t> serialized() const;
    bool load(std::span<const std::uint8_t> bytes);

private:
    std::size_t capacity_;
    std::size_t used_ = 0;
    std::map<std::uint16_t, Graphic> graphics_;
};

constexpr std::size_t kNvGraphicsCapacity = std::size_t{384} << 10;
constexpr std::size_t kDownloadGraphicsCapacity = std::size_t{384} << 10;

struct GraphicsMemory {
    GraphicsStore nv{kNvGraphicsCapacity};
    GraphicsStore download{kDownloadGraphicsCapacity};

    // Carries out the functions that define and delete graphics (fn 65-68
    // for NV, 81-84 for download); true when the NV graphics changed.
    // Malformed functions change nothing.
    bool apply(std::span<const std::uint8_t> payload);
    // What the printer sends for a query, nothing for other functions:
    //   fn 48 (NV capacity), 51 (NV remaining), 52 (download remaining):
    //     37h, 30h / 31h / 32h, the number of bytes in decimal digits, NUL
    //   fn 64 / 80 "KC" (NV / download key codes):
    //     37h, 72h / 73h, 40h (the last block), kc1 kc2 of each graphic, NUL
    std::vector<std::uint8_t> answer(std::span<const std::uint8_t> payload) const;
};

// The parts of a function that defines a graphic (fn 67, 68, 83, 84):
// a kc1 kc2 b xL xH yL yH c data, monochrome (a = 48, b = 1, c = 49).
struct GraphicDefinition {
    std::uint16_t key;
    bool nv;
    Graphic graphic;
};
std::optional<GraphicDefinition> graphicDefinition(std::span<const std::uint8_t> payload);

// Function 112 or 113: a bx by c xL xH yL yH data into the print buffer.
struct BufferGraphic {
    int scaleX;
    int scaleY;
    Graphic graphic;
};
std::optional<BufferGraphic> bufferGraphic(std::span<const std::uint8_t> payload);

}  // namespace escpos
