/* PNG decoding through libpng: every colour type and depth, reduced to 8-bit
 * RGB (alpha dropped, 16-bit samples cut to their high byte, no gamma),
 * interlaced or not, one row at a time. */
#include <png.h>
#include <setjmp.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "image_readers.h"

struct image_png {
    png_structp png;
    png_infop info;
    size_t budget; /* what libpng may hold allocated at once */
    size_t spent;
    int width;
    int height;
    int started;
    int passes;
    int next_row;
    size_t row_bytes;
    png_bytep image;    /* an interlaced file's whole image, decoded on the first read */
    unsigned char* rgb; /* where the row being read goes */
    FILE* file;
};

/* Every allocation of libpng is counted against the budget: a file's chunks
 * and row buffers cannot take more memory than it allows. */
typedef union {
    size_t size;
    max_align_t align;
} block_head;

static png_voidp take_memory(png_structp png, png_alloc_size_t size) {
    struct image_png* reader = (struct image_png*)png_get_mem_ptr(png);
    if (size > reader->budget - reader->spent) return NULL;
    block_head* head = malloc(sizeof *head + size);
    if (!head) return NULL;
    head->size = size;
    reader->spent += size;
    return head + 1;
}

static void give_memory(png_structp png, png_voidp block) {
    if (!block) return;
    block_head* head = (block_head*)block - 1;
    ((struct image_png*)png_get_mem_ptr(png))->spent -= head->size;
    free(head);
}

static void jump_out(png_structp png, png_const_charp message) {
    (void)message;
    png_longjmp(png, 1);
}

static void stay_silent(png_structp png, png_const_charp message) {
    (void)png;
    (void)message;
}

/* Runs one step, turning an error that libpng raises in it into 0. */
static int guarded(struct image_png* reader, void (*step)(struct image_png*)) {
    if (setjmp(png_jmpbuf(reader->png))) return 0;
    step(reader);
    return 1;
}

static void read_header(struct image_png* reader) {
    reader->info = png_create_info_struct(reader->png);
    if (!reader->info) png_error(reader->png, "no memory");
    png_init_io(reader->png, reader->file);
    png_read_info(reader->png, reader->info);
    reader->width = (int)png_get_image_width(reader->png, reader->info);
    reader->height = (int)png_get_image_height(reader->png, reader->info);
}

struct image_png* image_png_open(FILE* file, size_t memory_limit, int* width, int* height) {
    struct image_png* reader = calloc(1, sizeof *reader);
    if (!reader) return NULL;
    reader->budget = memory_limit;
    reader->file = file;
    reader->png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, reader, jump_out, stay_silent, reader, take_memory,
                                           give_memory);
    if (!reader->png || !guarded(reader, read_header)) {
        image_png_close(reader);
        return NULL;
    }
    *width = reader->width;
    *height = reader->height;
    return reader;
}

static void start(struct image_png* reader) {
    png_structp png = reader->png;
    png_set_expand(png); /* palette to RGB, grey below 8 bits to 8, transparency to alpha */
    png_set_strip_16(png);
    png_set_strip_alpha(png);
    png_set_gray_to_rgb(png);
    reader->passes = png_set_interlace_handling(png);
    png_read_update_info(png, reader->info);
    reader->row_bytes = png_get_rowbytes(png, reader->info);
    if (reader->row_bytes != (size_t)reader->width * 3) png_error(png, "not 8-bit RGB");
    reader->started = 1;
    if (reader->passes > 1) {
        /* Each pass adds pixels to every row: the rows are only complete at the end. */
        if ((size_t)reader->height > SIZE_MAX / reader->row_bytes) png_error(png, "too large");
        reader->image = png_malloc(png, reader->row_bytes * (size_t)reader->height);
        for (int pass = 0; pass < reader->passes; ++pass)
            for (int y = 0; y < reader->height; ++y)
                png_read_row(png, reader->image + (size_t)y * reader->row_bytes, NULL);
    }
}

static void read_row(struct image_png* reader) {
    if (!reader->started) start(reader);
    if (reader->image)
        memcpy(reader->rgb, reader->image + (size_t)reader->next_row * reader->row_bytes, reader->row_bytes);
    else
        png_read_row(reader->png, reader->rgb, NULL);
}

int image_png_read_row(struct image_png* reader, unsigned char* rgb) {
    if (reader->next_row >= reader->height) return 0;
    reader->rgb = rgb;
    if (!guarded(reader, read_row)) return 0;
    ++reader->next_row;
    return 1;
}

void image_png_close(struct image_png* reader) {
    if (!reader) return;
    if (reader->image) png_free(reader->png, reader->image);
    if (reader->png) png_destroy_read_struct(&reader->png, reader->info ? &reader->info : NULL, NULL);
    free(reader);
}
