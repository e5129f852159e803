#include "png_output.h"

#include <png.h>

#include <cstdio>
#include <vector>

namespace escpos {
namespace {

// libpng reports errors by longjmp back here; only the arguments live across it.
bool writeImage(png_structp png, png_infop info, std::FILE* file, const Paper& paper, png_byte* row) {
    if (setjmp(png_jmpbuf(png)) != 0) return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(paper.width()), static_cast<png_uint_32>(paper.height()), 1,
                 PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < paper.height(); ++y) {
        // In a 1-bit grey PNG 0 is black: the paper's black bits are inverted.
        const std::uint8_t* bits = paper.row(y);
        for (std::size_t i = 0; i < paper.stride(); ++i) row[i] = static_cast<png_byte>(~bits[i]);
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

bool writePng(const Paper& paper, const std::string& path) {
    if (paper.width() <= 0 || paper.height() <= 0) return false;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<png_byte> row(paper.stride());
    const bool ok = info && writeImage(png, info, file, paper, row.data());
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && ok;
}

}  // namespace escpos
