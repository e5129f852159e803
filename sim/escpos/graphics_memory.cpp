#include "graphics_memory.h"

#include <string>

namespace escpos {
namespace {

constexpr std::uint8_t kMonochrome = 48, kFirstColour = 49;

std::uint32_t le16(std::span<const std::uint8_t> p, std::size_t at) { return p[at] | std::uint32_t{p[at + 1]} << 8; }

}  // namespace

std::optional<Graphic> graphicFromData(std::uint32_t width, std::uint32_t height, bool columns,
                                       std::span<const std::uint8_t> data) {
    if (width < 1 || height < 1 || width > kMaxGraphicWidth || height > kMaxGraphicHeight) return std::nullopt;
    Graphic g{static_cast<int>(width), static_cast<int>(height), {}};
    const std::size_t rowBytes = g.rowBytes();
    if (!columns) {
        if (data.size() != rowBytes * height) return std::nullopt;
        g.rows.assign(data.begin(), data.end());
        return g;
    }
    const std::size_t columnBytes = (std::size_t{height} + 7) / 8;
    if (data.size() != columnBytes * width) return std::nullopt;
    g.rows.assign(rowBytes * height, 0);
    for (std::size_t x = 0; x < width; ++x)
        for (std::size_t y = 0; y < height; ++y)
            if ((data[x * columnBytes + y / 8] >> (7 - y % 8)) & 1)
                g.rows[y * rowBytes + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    return g;
}

std::optional<std::uint16_t> graphicKey(std::uint8_t kc1, std::uint8_t kc2) {
    if (kc1 < 0x20 || kc1 > 0x7E || kc2 < 0x20 || kc2 > 0x7E) return std::nullopt;
    return static_cast<std::uint16_t>(kc1 << 8 | kc2);
}

const Graphic* GraphicsStore::find(std::uint16_t key) const {
    const auto it = graphics_.find(key);
    return it == graphics_.end() ? nullptr : &it->second;
}

bool GraphicsStore::define(std::uint16_t key, Graphic graphic) {
    const Graphic* old = find(key);
    const std::size_t without = used_ - (old ? old->rows.size() : 0);
    if (graphic.rows.size() > capacity_ - without) return false;
    used_ = without + graphic.rows.size();
    graphics_[key] = std::move(graphic);
    return true;
}

bool GraphicsStore::erase(std::uint16_t key) {
    const auto it = graphics_.find(key);
    if (it == graphics_.end()) return false;
    used_ -= it->second.rows.size();
    graphics_.erase(it);
    return true;
}

bool GraphicsStore::clear() {
    if (graphics_.empty()) return false;
    graphics_.clear();
    used_ = 0;
    return true;
}

std::vector<std::uint8_t> GraphicsStore::serialized() const {
    std::vector<std::uint8_t> out;
    for (const auto& [key, g] : graphics_) {
        const auto w = static_cast<std::uint32_t>(g.width), h = static_cast<std::uint32_t>(g.height);
        out.insert(out.end(), {static_cast<std::uint8_t>(key >> 8), static_cast<std::uint8_t>(key & 0xFF),
                               static_cast<std::uint8_t>(w & 0xFF), static_cast<std::uint8_t>(w >> 8),
                               static_cast<std::uint8_t>(h & 0xFF), static_cast<std::uint8_t>(h >> 8)});
        out.insert(out.end(), g.rows.begin(), g.rows.end());
    }
    return out;
}

bool GraphicsStore::load(std::span<const std::uint8_t> bytes) {
    GraphicsStore loaded(capacity_);
    std::size_t at = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < 6) return false;
        const auto key = graphicKey(bytes[at], bytes[at + 1]);
        const std::uint32_t w = le16(bytes, at + 2), h = le16(bytes, at + 4);
        const std::size_t size = (std::size_t{w} + 7) / 8 * h;
        at += 6;
        if (!key || size > bytes.size() - at) return false;
        auto g = graphicFromData(w, h, false, bytes.subspan(at, size));
        if (!g || !loaded.define(*key, std::move(*g))) return false;
        at += size;
    }
    *this = std::move(loaded);
    return true;
}

std::optional<GraphicDefinition> graphicDefinition(std::span<const std::uint8_t> p) {
    if (p.size() < 11) return std::nullopt;
    const std::uint8_t fn = p[1];
    const bool nv = fn == 67 || fn == 68;
    if (!nv && fn != 83 && fn != 84) return std::nullopt;
    const auto key = graphicKey(p[3], p[4]);
    if (p[2] != kMonochrome || !key || p[5] != 1 || p[10] != kFirstColour) return std::nullopt;
    auto g = graphicFromData(le16(p, 6), le16(p, 8), fn == 68 || fn == 84, p.subspan(11));
    if (!g) return std::nullopt;
    return GraphicDefinition{*key, nv, std::move(*g)};
}

std::optional<BufferGraphic> bufferGraphic(std::span<const std::uint8_t> p) {
    if (p.size() < 10 || (p[1] != 112 && p[1] != 113)) return std::nullopt;
    const auto scale = [](std::uint8_t s) { return s == 1 || s == 2 ? std::optional<int>(s) : std::nullopt; };
    const auto bx = scale(p[3]), by = scale(p[4]);
    if (p[2] != kMonochrome || !bx || !by || p[5] != kFirstColour) return std::nullopt;
    auto g = graphicFromData(le16(p, 6), le16(p, 8), p[1] == 113, p.subspan(10));
    if (!g) return std::nullopt;
    return BufferGraphic{*bx, *by, std::move(*g)};
}

bool GraphicsMemory::apply(std::span<const std::uint8_t> p) {
    if (p.size() < 2) return false;
    const std::uint8_t fn = p[1];
    const bool clr = p.size() == 5 && p[2] == 'C' && p[3] == 'L' && p[4] == 'R';
    switch (fn) {
        case 65:
            return clr && nv.clear();
        case 81:
            if (clr) download.clear();
            return false;
        case 66:
        case 82: {
            const auto key = p.size() == 4 ? graphicKey(p[2], p[3]) : std::nullopt;
            if (!key) return false;
            return fn == 66 ? nv.erase(*key) : (download.erase(*key), false);
        }
        case 67:
        case 68:
        case 83:
        case 84: {
            auto d = graphicDefinition(p);
            if (!d) return false;
            return (d->nv ? nv : download).define(d->key, std::move(d->graphic)) && d->nv;
        }
        default:
            return false;
    }
}

std::vector<std::uint8_t> GraphicsMemory::answer(std::span<const std::uint8_t> p) const {
    if (p.size() < 2) return {};
    const std::uint8_t fn = p[1];
    constexpr std::uint8_t kHeader = 0x37, kLastBlock = 0x40;
    auto number = [&](std::uint8_t id, std::size_t value) {
        std::vector<std::uint8_t> out{kHeader, id};
        for (const char c : std::to_string(value)) out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(0x00);
        return out;
    };
    auto keys = [&](std::uint8_t id, const GraphicsStore& store) {
        std::vector<std::uint8_t> out{kHeader, id, kLastBlock};
        for (const auto& entry : store.graphics()) {
            out.push_back(static_cast<std::uint8_t>(entry.first >> 8));
            out.push_back(static_cast<std::uint8_t>(entry.first & 0xFF));
        }
        out.push_back(0x00);
        return out;
    };
    const bool kc = p.size() == 4 && p[2] == 'K' && p[3] == 'C';
    if (p.size() == 2 && fn == 48) return number(0x30, nv.capacity());
    if (p.size() == 2 && fn == 51) return number(0x31, nv.remaining());
    if (p.size() == 2 && fn == 52) return number(0x32, download.remaining());
    if (kc && fn == 64) return keys(0x72, nv);
    if (kc && fn == 80) return keys(0x73, download);
    return {};
}

}  // namespace escpos
