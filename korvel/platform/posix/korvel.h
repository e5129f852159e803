/* libkorvel: writes 64 on/off digits to the device at an address on COM1
 * (KORVEL_COM1, else /dev/ttyS0) as one Modbus RTU write of four registers
 * from 0x0100, at 1200 baud 8N1, and reports whether the reply begins with
 * the address. Each call takes at least 500 ms.
 *
 * Results: 0 when the reply's first byte is the address, -1 when it is
 * another byte. Anything else is an error with a number and a description:
 * 6 (overflow: address outside 0 to 255, a group of 8 digits worth more than
 * 255, a text longer than 32,767 characters), 9 (no reply; the port is
 * closed), or one of the serial control's (see serial_control.h). */
#ifndef KORVEL_H
#define KORVEL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A buffer of this size always holds the normalised text (64 UTF-16 code
 * units as UTF-8) and its terminating zero. */
#define KORVEL_DATAS_SIZE 257

/* `datas` is a zero-terminated UTF-8 text in a buffer of `datas_size` bytes;
 * the normalised text is written back into it whenever the call got that far
 * and it fits. Returns 0 and stores the result (0 or -1) in *result, or
 * returns the error number and copies its description, cut to fit and zero
 * terminated, into `description` (may be null). */
int korvel_send_data(int16_t address, char* datas, size_t datas_size, int16_t* result, char* description,
                     size_t description_size);

#ifdef __cplusplus
}

#include <string>

#include "korvel_error.h"

namespace korvel {

// The class a C++ host uses. One form per thread, made on the first call.
class ClsKorvel {
public:
    // `a` is never changed; `datas` (UTF-8) comes back normalised to 64
    // characters. Throws KorvelError.
    std::int16_t SendData(std::int16_t& a, std::string& datas);
};

}  // namespace korvel
#endif

#endif
