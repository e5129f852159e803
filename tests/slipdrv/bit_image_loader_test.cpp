// The Linux image loader: bitmap files of every layout, PNG and JPEG files
// give their colours, the conversion matches a per-pixel reference on random
// images, and malformed files are refused before anything is sent or staged.
#include <png.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include <bit>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "bit_image_fixture.h"
#include "dot_image.h"

namespace slipdrv {
namespace {

using namespace testing;
using namespace image_testing;
using image_testing::Bytes;

Picture pattern(int w, int h) { return patternPicture(w, h); }

// The rows a loader hands over, each of which must come exactly once.
class CollectedRows final : public PixelRows {
public:
    CollectedRows(int w, int h) : picture(w, h), times_(h, 0) {}
    void take(int y, std::span<const Rgb> pixels) override {
        ASSERT_TRUE(y >= 0 && y < picture.height && pixels.size() == std::size_t(picture.width)) << "row " << y;
        ++times_[y];
        for (int x = 0; x < picture.width; ++x) picture.at(x, y) = {pixels[x].red, pixels[x].green, pixels[x].blue};
    }
    bool eachOnce() const {
        return std::all_of(times_.begin(), times_.end(), [](int n) { return n == 1; });
    }

    Picture picture;

private:
    std::vector<int> times_;
};

// The picture the loader gives for a file, or nothing when it refuses it.
std::optional<Picture> decode(const std::string& name, const Bytes& file) {
    writeFile(name, file);
    const auto loader = makeBitmapLoader();
    if (!loader->open(name.c_str())) return std::nullopt;
    CollectedRows rows(loader->width(), loader->height());
    if (!loader->readRows(loader->width(), rows)) return std::nullopt;
    EXPECT_TRUE(rows.eachOnce()) << name;
    return rows.picture;
}

// --- Bitmap files: every layout gives the file's colours ---

// A component stored in `width` bits reads back as those bits repeated from
// the top down to fill a byte (5 bits 10110 read as 10110101).
std::uint8_t widened(std::uint8_t component, int width) {
    const int stored = component >> (8 - width);
    int out = 0;
    for (int bit = 0; bit < 8; ++bit) out |= (stored >> (width - 1 - bit % width) & 1) << (7 - bit);
    return std::uint8_t(out);
}
Colour storedColour(const Colour& c, const BmpLayout& layout) {
    if (layout.bits != 16 && layout.bits != 32) return c;
    const auto masks = masksOf(layout);
    std::uint8_t parts[] = {c.r, c.g, c.b};
    for (int i = 0; i < 3; ++i) parts[i] = widened(parts[i], std::popcount(masks[i]));
    return {parts[0], parts[1], parts[2]};
}

TEST_F(BitImageTest, LoaderGivesTheColoursOfEveryBitmapLayout) {
    std::vector<BmpLayout> layouts;
    for (const int bits : {1, 4, 8, 16, 24, 32})
        for (const bool topDown : {false, true}) layouts.push_back({.bits = bits, .topDown = topDown});
    for (const int bits : {1, 4, 8, 24}) layouts.push_back({.bits = bits, .headerSize = 12});
    for (const std::uint32_t size : {56u, 108u, 124u}) {
        layouts.push_back({.bits = 8, .headerSize = size});
        layouts.push_back({.bits = 32, .topDown = true, .headerSize = size});
        layouts.push_back({.bits = 16, .headerSize = size, .masks = {0xF800, 0x07E0, 0x001F}});
    }
    layouts.push_back({.bits = 16, .masks = {0xF800, 0x07E0, 0x001F}});
    layouts.push_back({.bits = 16, .topDown = true, .masks = {0x000F, 0x00F0, 0x0F00}});
    layouts.push_back({.bits = 32, .masks = {0x000000FF, 0x0000FF00, 0x00FF0000}});
    layouts.push_back({.bits = 32, .headerSize = 124, .masks = {0xFF000000, 0x00FF0000, 0x0000FF00}});

    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255);
    for (const auto& layout : layouts)
        for (const auto& [w, h] : {std::pair{13, 7}, std::pair{1, 1}, std::pair{33, 17}}) {
            std::vector<Colour> colours = {kBlack, kWhite, {92, 92, 92}, {93, 93, 93}, {255, 0, 0}, {0, 255, 0}};
            while (colours.size() < 256)
                colours.push_back({std::uint8_t(byte(rng)), std::uint8_t(byte(rng)), std::uint8_t(byte(rng))});
            colours.resize(layout.bits <= 8 ? 1u << layout.bits : 256u);
            std::uniform_int_distribution<std::size_t> pick(0, colours.size() - 1);
            Picture p(w, h);
            for (auto& c : p.pixels) c = colours[pick(rng)];
            const std::string label = std::to_string(layout.bits) + " bits, header " +
                                      std::to_string(layout.headerSize) + (layout.topDown ? ", top-down " : " ") +
                                      std::to_string(layout.masks.size()) + " masks, " + std::to_string(w) + "x" +
                                      std::to_string(h);
            const auto got = decode("layout.bmp", encodeBmp(p, layout));
            ASSERT_TRUE(got) << label;
            for (std::size_t i = 0; i < p.pixels.size(); ++i)
                ASSERT_EQ(got->pixels[i], storedColour(p.pixels[i], layout)) << label << ", pixel " << i;
        }
}

// --- PNG and JPEG files, written here with libpng and libjpeg ---

struct PngKind {
    const char* name;
    int colourType;
    int depth;
    bool interlaced;
};

// Samples of one pixel as the kind stores them. 16-bit samples carry a low
// byte that must be dropped; alpha varies and must be ignored.
std::vector<unsigned> pngSamples(const Colour& c, const PngKind& kind, int index, int x) {
    const unsigned wide = kind.depth == 16 ? 257 : 1;
    switch (kind.colourType) {
        case PNG_COLOR_TYPE_GRAY:
            return {kind.depth == 1 ? c.r >> 7u : c.r * wide};
        case PNG_COLOR_TYPE_PALETTE:
            return {unsigned(index)};
        case PNG_COLOR_TYPE_RGB_ALPHA:
            return {c.r * wide, c.g * wide, c.b * wide, unsigned(x * 37 % 256) * wide};
        default:
            return {c.r * wide, c.g * wide, c.b * wide};
    }
}

Bytes encodePng(const Picture& p, const PngKind& kind) {
    std::vector<Colour> palette;
    std::map<Colour, int> index;
    for (const auto& c : p.pixels)
        if (index.emplace(c, int(palette.size())).second) palette.push_back(c);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    Bytes out;
    png_set_write_fn(
        png, &out,
        [](png_structp s, png_bytep data, png_size_t n) {
            auto* o = static_cast<Bytes*>(png_get_io_ptr(s));
            o->insert(o->end(), data, data + n);
        },
        nullptr);
    png_set_IHDR(png, info, p.width, p.height, kind.depth, kind.colourType,
                 kind.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (kind.colourType == PNG_COLOR_TYPE_PALETTE) {
        std::vector<png_color> entries;
        for (const auto& c : palette) entries.push_back({c.r, c.g, c.b});
        png_set_PLTE(png, info, entries.data(), int(entries.size()));
        const png_byte transparent[] = {0};  // entry 0 transparent: still its colour
        png_set_tRNS(png, info, transparent, 1, nullptr);
    }
    std::vector<Bytes> rows;
    for (int y = 0; y < p.height; ++y) {
        Bytes row;
        unsigned bits = 0, filled = 0;
        for (int x = 0; x < p.width; ++x)
            for (const unsigned sample : pngSamples(p.at(x, y), kind, index[p.at(x, y)], x)) {
                if (kind.depth == 16) row.insert(row.end(), {std::uint8_t(sample >> 8), std::uint8_t(sample ^ 0x5A)});
                if (kind.depth == 8) row.push_back(std::uint8_t(sample));
                if (kind.depth >= 8) continue;
                bits = bits << kind.depth | sample, filled += kind.depth;
                if (filled == 8) row.push_back(std::uint8_t(bits)), bits = filled = 0;
            }
        if (filled) row.push_back(std::uint8_t(bits << (8 - filled)));
        rows.push_back(row);
    }
    std::vector<png_bytep> pointers;
    for (auto& row : rows) pointers.push_back(row.data());
    png_write_info(png, info);
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// Quality 100, no subsampling. CMYK is stored inverted, as such files are:
// red, green and blue with no black read back as the colour itself.
Bytes encodeJpeg(const Picture& p, J_COLOR_SPACE space, bool progressive = false) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = p.width;
    info.image_height = p.height;
    info.input_components = space == JCS_GRAYSCALE ? 1 : space == JCS_CMYK ? 4 : 3;
    info.in_color_space = space;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    for (int i = 0; i < info.num_components; ++i) info.comp_info[i].h_samp_factor = info.comp_info[i].v_samp_factor = 1;
    if (progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    for (int y = 0; y < p.height; ++y) {
        Bytes row;
        for (int x = 0; x < p.width; ++x) {
            const Colour c = p.at(x, y);
            if (space == JCS_GRAYSCALE) row.push_back(c.r);
            if (space != JCS_GRAYSCALE) row.insert(row.end(), {c.r, c.g, c.b});
            if (space == JCS_CMYK) row.push_back(255);
        }
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&info, &pointer, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

TEST_F(BitImageTest, LoaderGivesTheColoursOfPngFiles) {
    std::mt19937 rng(11);
    const PngKind kinds[] = {
        {"RGB 8", PNG_COLOR_TYPE_RGB, 8, false},
        {"RGB 16", PNG_COLOR_TYPE_RGB, 16, false},
        {"RGBA 8", PNG_COLOR_TYPE_RGB_ALPHA, 8, false},
        {"RGBA 16", PNG_COLOR_TYPE_RGB_ALPHA, 16, false},
        {"grey 8", PNG_COLOR_TYPE_GRAY, 8, false},
        {"grey 1", PNG_COLOR_TYPE_GRAY, 1, false},
        {"palette 4", PNG_COLOR_TYPE_PALETTE, 4, false},
        {"RGB 8 interlaced", PNG_COLOR_TYPE_RGB, 8, true},
        {"palette 8 interlaced", PNG_COLOR_TYPE_PALETTE, 8, true},
    };
    for (const auto& kind : kinds) {
        Picture p = randomPicture(rng, 37, 23);
        const bool grey = kind.colourType == PNG_COLOR_TYPE_GRAY;
        for (auto& c : p.pixels) {
            if (grey) c = {c.g, c.g, c.g};
            if (kind.depth == 1) c = c.g < 128 ? kBlack : kWhite;
            if (kind.colourType == PNG_COLOR_TYPE_PALETTE) c = {std::uint8_t(c.r & 0xF0), 0, 200};  // 16 colours
        }
        const auto got = decode("image.png", encodePng(p, kind));
        ASSERT_TRUE(got) << kind.name;
        EXPECT_EQ(got->pixels, p.pixels) << kind.name;
    }
}

// JPEG is lossy: what must come through is which pixels print.
TEST_F(BitImageTest, LoaderGivesTheDotsOfJpegFiles) {
    const Picture p = pattern(45, 29);
    const struct {
        const char* name;
        J_COLOR_SPACE space;
        bool progressive;
    } kinds[] = {{"RGB", JCS_RGB, false},
                 {"RGB progressive", JCS_RGB, true},
                 {"greyscale", JCS_GRAYSCALE, false},
                 {"CMYK", JCS_CMYK, false}};
    for (const auto& kind : kinds) {
        const auto got = decode("image.jpg", encodeJpeg(p, kind.space, kind.progressive));
        ASSERT_TRUE(got) << kind.name;
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                ASSERT_EQ(prints(*got, x, y), prints(p, x, y)) << kind.name << " at " << x << "," << y;
    }
}

// --- The conversion against the per-pixel reference, on random images ---

TEST_F(BitImageTest, RandomImagesPackLikeThePerPixelReference) {
    std::mt19937 rng(20261208);
    std::uniform_int_distribution<int> width(1, 700), bits(0, 1);
    for (int round = 0; round < 40; ++round) {
        const int w = width(rng);
        const int maxHeight = std::max(1, 98367 / std::min(w, 640) / 20);  // well within the limit, quick to make
        const int h = std::uniform_int_distribution<int>(1, std::min(maxHeight, 200))(rng);
        const Picture p = randomPicture(rng, w, h);
        save("random.bmp", p, bits(rng) ? 32 : 24, round % 3 == 0);
        const std::string label = std::to_string(w) + "x" + std::to_string(h);

        const auto loader = makeBitmapLoader();
        const auto image = loadDotImage(*loader, "random.bmp");
        ASSERT_TRUE(image) << label;
        EXPECT_EQ(image->width, std::min(w, 640)) << label;
        EXPECT_EQ(packBands(*image, 8), referenceBands(p, 0)) << label;
        EXPECT_EQ(packBands(*image, 24), referenceBands(p, 33)) << label;
        const ColumnData columns = packColumns(*image);
        EXPECT_EQ(columns.bytesAcross, (std::min(w, 640) + 7) / 8) << label;
        EXPECT_EQ(columns.bytesDown, (h + 7) / 8) << label;
        EXPECT_EQ(columns.data, referenceColumns(p)) << label;
    }
}

// --- Malformed files: refused, nothing sent, nothing staged, no crash ---

Bytes withField(Bytes file, std::size_t offset, std::uint32_t value, int size = 4) {
    for (int i = 0; i < size; ++i) file[offset + i] = std::uint8_t(value >> (8 * i));
    return file;
}
Bytes cut(const Bytes& file, std::size_t size) { return Bytes(file.begin(), file.begin() + size); }

TEST_F(BitImageTest, MalformedFilesAreRefused) {
    auto& printer = openSerial();
    const Bytes good = encodeBmp(pattern(20, 12), 24);
    const Bytes paletted = encodeBmp(pattern(20, 12), 8);
    const Bytes masked = encodeBmp(pattern(20, 12), {.bits = 16, .masks = {0xF800, 0x07E0, 0x001F}});
    Bytes wrongMagic = good;
    wrongMagic[0] = 'X';
    // A PNG signature and header announcing 60000 x 60000, then nothing usable.
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    png = png + Bytes{0x00, 0x00, 0xEA, 0x60, 0x00, 0x00, 0xEA, 0x60, 8, 2, 0, 0, 0, 0, 0, 0, 0};
    const Bytes goodPng = encodePng(pattern(40, 30), {"", PNG_COLOR_TYPE_RGB, 8, false});
    Bytes damagedPng = goodPng;
    damagedPng[damagedPng.size() - 20] ^= 0xFF;  // inside the last IDAT
    std::mt19937 rng(3);
    const Bytes goodJpeg = encodeJpeg(randomPicture(rng, 64, 48), JCS_RGB);  // mostly scan data
    const Bytes dhtReproducer = readFile(SLIPDRV_IMAGE_REPRODUCERS "/jpeg_dht_counting_272_codes.jpg");
    ASSERT_FALSE(dhtReproducer.empty());
    const struct {
        const char* name;
        Bytes file;
    } files[] = {
        {"empty file", {}},
        {"wrong magic", wrongMagic},
        {"header only", cut(good, 20)},
        {"pixel data cut in half", cut(good, good.size() / 2)},
        {"pixel data one byte short", cut(good, good.size() - 1)},
        {"1000000 x 1000000 announced", withField(withField(good, 18, 1000000), 22, 1000000)},
        {"INT_MAX x 1 announced", withField(withField(good, 18, INT_MAX), 22, 1)},
        {"5000000 x 1 announced (within the size limit)", withField(withField(good, 18, 5000000), 22, 1)},
        {"640 x 100000 announced", withField(withField(good, 18, 640), 22, 100000)},
        {"negative width", withField(good, 18, std::uint32_t(-20))},
        {"zero height", withField(good, 22, 0)},
        {"seven bits a pixel", withField(good, 28, 7, 2)},
        {"two planes", withField(good, 26, 2, 2)},
        {"run-length 8", withField(paletted, 30, 1)},
        {"JPEG inside a bitmap", withField(good, 30, 4)},
        {"bit fields at 24 bits", withField(good, 30, 3)},
        {"a mask of no bits", withField(masked, 54, 0)},
        {"a mask of nine bits", withField(masked, 54, 0xFF80)},
        {"no room for the colour table", withField(paletted, 10, 54)},
        {"pixel data starting inside the header", withField(good, 10, 30)},
        {"pixel data offset past the end", withField(good, 10, 0x7FFFFFF0)},
        {"PNG announcing 60000 x 60000", png},
        {"PNG cut off", cut(goodPng, goodPng.size() / 2)},
        {"PNG with a damaged chunk", damagedPng},
        {"JPEG cut off", cut(goodJpeg, goodJpeg.size() / 2)},
        {"JPEG with a code table of more than 256 codes", dhtReproducer},
    };
    std::vector<Case> cases;
    for (const auto& f : files) {
        const std::string name = std::string("bad-") + std::to_string(cases.size()) + ".bmp";
        writeFile(name, f.file);
        cases.push_back(
            {std::string(f.name) + ", BPPrintBitmap", [name] { return BPPrintBitmap(name.c_str(), 0); }, -1, {}});
        cases.push_back({std::string(f.name) + ", BPPrintDownloadBitImage",
                         [name] { return BPPrintDownloadBitImage(name.c_str(), 0); },
                         -1,
                         {}});
        cases.push_back({std::string(f.name) + ", BPDefineNVBitImage",
                         [name] { return BPDefineNVBitImage(name.c_str()); },
                         -1,
                         {}});
    }
    cases.push_back({"a directory", [] { return BPPrintBitmap(".", 0); }, -1, {}});
    check(printer, cases);
    EXPECT_FALSE(fileExists("top.bin"));
    EXPECT_FALSE(fileExists("image.bin"));
}

TEST_F(BitImageTest, StagingFilesAreCreatedWithMode0644LessTheUmask) {
    save("p.bmp", pattern(20, 12));
    for (const mode_t mask : {0000, 0022, 0077}) {
        for (const char* name : {"top.bin", "image.bin"}) std::filesystem::remove(name);
        const mode_t previous = ::umask(mask);
        BPPrintBitmap("p.bmp", 0);
        BPDefineNVBitImage("p.bmp");
        ::umask(previous);
        for (const char* name : {"top.bin", "image.bin"}) {
            struct stat status;
            ASSERT_EQ(::stat(name, &status), 0) << name;
            EXPECT_EQ(status.st_mode & 0777, 0644u & ~mask) << name << " under umask " << mask;
        }
    }
}

}  // namespace
}  // namespace slipdrv
