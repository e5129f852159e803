#include "nv_store.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>

#include "command_arguments.h"
#include "escpos_decoder.h"

namespace escpos {
namespace {

constexpr char kNvMagic[8] = {'N', 'V', 'I', 'M', 'G', 'S', '0', '1'};
constexpr char kGraphicsMagic[8] = {'N', 'V', 'G', 'R', 'A', 'F', '0', '1'};

void writeSection(std::ofstream& out, const char (&magic)[8], const std::vector<std::uint8_t>& bytes) {
    const auto length = static_cast<std::uint32_t>(bytes.size());
    const char size[4] = {static_cast<char>(length & 0xFF), static_cast<char>((length >> 8) & 0xFF),
                          static_cast<char>((length >> 16) & 0xFF), static_cast<char>(length >> 24)};
    out.write(magic, sizeof magic);
    out.write(size, sizeof size);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(length));
}

std::uint32_t readLe32(const unsigned char* p) {
    return p[0] | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

}  // namespace

std::optional<NvImages> parseNvImages(std::uint32_t count, std::span<const std::uint8_t> payload) {
    NvImages nv;
    const WalkEnd walk = walkNvImages(count, payload, std::numeric_limits<std::uint64_t>::max(),
                                      [&](std::uint32_t x, std::uint32_t y, std::span<const std::uint8_t> columns) {
                                          nv.images.push_back(Bitmap::fromColumns(static_cast<int>(x * 8), y, columns));
                                      });
    if (walk.status != Walk::kDone || walk.end != payload.size()) return std::nullopt;
    nv.definition.push_back(static_cast<std::uint8_t>(count));
    nv.definition.insert(nv.definition.end(), payload.begin(), payload.end());
    return nv;
}

NvImages loadNvStore(const std::string& path, GraphicsStore* graphics) {
    if (path.empty()) return {};
    std::ifstream in(path, std::ios::binary);
    unsigned char header[sizeof kNvMagic + 4];
    if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return {};
    if (!std::equal(std::begin(kNvMagic), std::end(kNvMagic), header)) return {};
    const std::uint32_t length = readLe32(header + sizeof kNvMagic);
    if (length > kMaxPayload + 1) return {};
    std::vector<std::uint8_t> definition(length);
    if (!in.read(reinterpret_cast<char*>(definition.data()), length)) return {};
    NvImages nv;
    if (length > 0) {
        auto parsed = parseNvImages(definition[0], std::span(definition).subspan(1));
        if (parsed) nv = std::move(*parsed);
    }
    if (in.peek() == std::ifstream::traits_type::eof()) return length > 0 ? nv : NvImages{};
    // The graphics part; anything else after the images makes the file corrupt.
    if (!in.read(reinterpret_cast<char*>(header), sizeof header) ||
        !std::equal(std::begin(kGraphicsMagic), std::end(kGraphicsMagic), header))
        return {};
    const std::uint32_t size = readLe32(header + sizeof kGraphicsMagic);
    if (!graphics || size > kNvGraphicsCapacity * 2) return nv;
    std::vector<std::uint8_t> bytes(size);
    if (in.read(reinterpret_cast<char*>(bytes.data()), size) && in.peek() == std::ifstream::traits_type::eof())
        graphics->load(bytes);
    return nv;
}

void saveNvStore(const std::string& path, const NvImages& nv, const GraphicsStore* graphics) {
    if (path.empty()) return;
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        writeSection(out, kNvMagic, nv.definition);
        if (graphics && !graphics->graphics().empty()) writeSection(out, kGraphicsMagic, graphics->serialized());
        if (!out.flush()) return;
    }
    std::rename(temporary.c_str(), path.c_str());
}

}  // namespace escpos
