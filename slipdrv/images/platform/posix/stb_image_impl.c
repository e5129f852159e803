/* The one translation unit that compiles stb_image. Only the formats the
 * bit-image exports take are built: Windows bitmaps, and PNG and JPEG.
 *
 * Every allocation stb_image makes goes through image_allocation_*, which
 * refuses any single block above the budget below. The loader checks the
 * size limit on the header before it decodes, but a decoder also allocates
 * from other fields (a PNG's compressed stream can expand far beyond its
 * header's size): the budget bounds those too. */
#include <stddef.h>
#include <stdlib.h>

/* 4 bytes for each of the at most 2^22 decoded pixels, with room for a
 * decoder's row of padding. */
#define IMAGE_ALLOCATION_LIMIT ((size_t)17 << 20)

static void* image_allocation_malloc(size_t size) { return size > IMAGE_ALLOCATION_LIMIT ? NULL : malloc(size); }
static void* image_allocation_realloc(void* block, size_t size) {
    return size > IMAGE_ALLOCATION_LIMIT ? NULL : realloc(block, size);
}

#define STBI_MALLOC(size) image_allocation_malloc(size)
#define STBI_REALLOC(block, size) image_allocation_realloc(block, size)
#define STBI_FREE(block) free(block)
/* Larger than the tallest image the size limit passes (98,367 rows of one
 * column) and the widest the loader decodes. */
#define STBI_MAX_DIMENSIONS (1 << 22)
#define STBI_ONLY_BMP
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include "stb_image_loader.h"

int slipdrv_image_info(const unsigned char* bytes, int length, int* width, int* height) {
    int components = 0;
    return stbi_info_from_memory(bytes, length, width, height, &components);
}

unsigned char* slipdrv_image_load_rgb(const unsigned char* bytes, int length, int* width, int* height) {
    int components = 0;
    return stbi_load_from_memory(bytes, length, width, height, &components, 3);
}

void slipdrv_image_free(unsigned char* pixels) { stbi_image_free(pixels); }
