/* JPEG and PNG files decoded row by row for the Linux image loader. The two
 * libraries report a corrupt file by a long jump, which each call below
 * catches in a C frame of its own: the jump never crosses a frame of the
 * caller, and the call reports a refusal. After a refusal a reader is only to
 * be closed. */
#pragma once

#include <stddef.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

struct image_jpeg;
struct image_png;

/* Reads the header from the start of `file` (which stays open: the caller
 * closes it after the reader). NULL when it is not a file this reader
 * decodes. Decoding then allocates at most about `memory_limit` bytes; a file
 * that needs more is refused. */
struct image_jpeg* image_jpeg_open(FILE* file, size_t memory_limit, int* width, int* height);
struct image_png* image_png_open(FILE* file, size_t memory_limit, int* width, int* height);

/* Decodes the next row from the top into `rgb`, 3 bytes a pixel (red, green,
 * blue) over the whole width. 0 when there is none, the file is corrupt or
 * ends early, or the memory limit is reached. */
int image_jpeg_read_row(struct image_jpeg* reader, unsigned char* rgb);
int image_png_read_row(struct image_png* reader, unsigned char* rgb);

void image_jpeg_close(struct image_jpeg* reader);
void image_png_close(struct image_png* reader);

#ifdef __cplusplus
}
#endif
