/* JPEG decoding through libjpeg: RGB, greyscale and CMYK files, baseline or
 * progressive, one row at a time. */
#include <setjmp.h>
#include <stdlib.h>

/* jpeglib.h needs stdio.h first. */
#include "image_readers.h"

#include <jerror.h>
#include <jpeglib.h>

/* Far more scans than a real progressive file has (about ten); each scan goes
 * over the whole image again, so a file with thousands would keep a call busy
 * for minutes. */
#define MAX_SCANS 200

struct image_jpeg {
    struct jpeg_decompress_struct info;
    struct jpeg_error_mgr errors;
    struct jpeg_progress_mgr progress;
    jmp_buf failure;
    int started;
    int ended_early;
    JSAMPARRAY cmyk;    /* one row of four samples a pixel, for files stored as CMYK or YCCK */
    unsigned char* rgb; /* where the row being read goes */
    FILE* file;
    size_t memory_limit;
};

static void jump_out(j_common_ptr info) { longjmp(((struct image_jpeg*)info->client_data)->failure, 1); }

/* Warnings are not printed. A file that ends before its image does is
 * refused, as a cut-off bitmap is, where libjpeg would fill the rest with grey. */
static void note_warning(j_common_ptr info, int level) {
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) ((struct image_jpeg*)info->client_data)->ended_early = 1;
}

static void stay_silent(j_common_ptr info) { (void)info; }

static void limit_scans(j_common_ptr info) {
    if (((j_decompress_ptr)info)->input_scan_number > MAX_SCANS) jump_out(info);
}

/* Runs one step, turning an error that libjpeg raises in it into 0. */
static int guarded(struct image_jpeg* reader, void (*step)(struct image_jpeg*)) {
    if (setjmp(reader->failure)) return 0;
    step(reader);
    return 1;
}

static void read_header(struct image_jpeg* reader) {
    jpeg_create_decompress(&reader->info);
    /* Bounds the buffers a progressive file needs for the whole image. */
    reader->info.mem->max_memory_to_use = (long)reader->memory_limit;
    reader->progress.progress_monitor = limit_scans;
    reader->info.progress = &reader->progress;
    jpeg_stdio_src(&reader->info, reader->file);
    jpeg_read_header(&reader->info, TRUE);
}

struct image_jpeg* image_jpeg_open(FILE* file, size_t memory_limit, int* width, int* height) {
    struct image_jpeg* reader = calloc(1, sizeof *reader);
    if (!reader) return NULL;
    reader->info.err = jpeg_std_error(&reader->errors);
    reader->errors.error_exit = jump_out;
    reader->errors.emit_message = note_warning;
    reader->errors.output_message = stay_silent;
    reader->info.client_data = reader;
    reader->file = file;
    reader->memory_limit = memory_limit;
    if (!guarded(reader, read_header)) {
        image_jpeg_close(reader);
        return NULL;
    }
    *width = (int)reader->info.image_width;
    *height = (int)reader->info.image_height;
    return reader;
}

/* a x b / 255, rounded. */
static unsigned char scale(unsigned a, unsigned b) {
    const unsigned t = a * b + 128;
    return (unsigned char)((t + (t >> 8)) >> 8);
}

static void read_row(struct image_jpeg* reader) {
    struct jpeg_decompress_struct* info = &reader->info;
    if (!reader->started) {
        const int inks = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
        info->out_color_space = inks ? JCS_CMYK : JCS_RGB;
        jpeg_start_decompress(info);
        if (inks) reader->cmyk = (*info->mem->alloc_sarray)((j_common_ptr)info, JPOOL_IMAGE, info->output_width * 4, 1);
        reader->started = 1;
    }
    if (!reader->cmyk) {
        JSAMPROW row = reader->rgb;
        jpeg_read_scanlines(info, &row, 1);
        return;
    }
    jpeg_read_scanlines(info, reader->cmyk, 1);
    /* The samples are stored inverted (as the files that use them are
     * written): each colour is its own sample scaled by black's. */
    const JSAMPLE* ink = reader->cmyk[0];
    unsigned char* rgb = reader->rgb;
    for (JDIMENSION x = 0; x < info->output_width; ++x, ink += 4, rgb += 3) {
        rgb[0] = scale(ink[0], ink[3]);
        rgb[1] = scale(ink[1], ink[3]);
        rgb[2] = scale(ink[2], ink[3]);
    }
}

int image_jpeg_read_row(struct image_jpeg* reader, unsigned char* rgb) {
    if (reader->started && reader->info.output_scanline >= reader->info.output_height) return 0;
    reader->rgb = rgb;
    return guarded(reader, read_row) && !reader->ended_early;
}

void image_jpeg_close(struct image_jpeg* reader) {
    if (!reader) return;
    jpeg_destroy_decompress(&reader->info);
    free(reader);
}
