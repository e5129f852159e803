/* The few stb_image calls the loader makes, compiled in stb_image_impl.c with
 * its limits and allocation budget. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* 1 when the bytes hold an image of a format the loader reads, with its size. */
int slipdrv_image_info(const unsigned char* bytes, int length, int* width, int* height);
/* The pixels, 3 bytes (red, green, blue) each, rows from the top; NULL on failure. */
unsigned char* slipdrv_image_load_rgb(const unsigned char* bytes, int length, int* width, int* height);
void slipdrv_image_free(unsigned char* pixels);

#ifdef __cplusplus
}
#endif
