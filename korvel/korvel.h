/* libkorvel: writes 64 on/off digits to the device at an address on COM1
 * (KORVEL_COM1, else /dev/ttyS0) as one Modbus RTU write of four registers
 * from 0x0100, at 1200 baud 8N1, and reports whether the reply begins with
 * the address. Each call takes at least 500 ms.
 *
 * Results: 0 when the reply's first byte is the address, -1 when it is
 * another byte. Anything else is an error with a number and a description,
 * one of the KORVEL_ERR_ numbers below. This header needs nothing but the
 * C and C++ standard headers. */
#ifndef KORVEL_H
#define KORVEL_H

#include <stddef.h>
#include <stdint.h>

/* Error numbers (an automation caller of the Windows server sees them as
 * 0x800A0000 | number):
 *   OVERFLOW          address outside 0-255, a group of 8 digits worth more
 *                     than 255, a text longer than 32,767 characters
 *   OUT_OF_MEMORY     the text or its copy could not be made
 *   NO_REPLY          no reply arrived; the port is closed (its text is
 *                     "Subscript out of range")
 *   INVALID_PROPERTY  a bad line settings text, mode, threshold or length
 *   INVALID_PORT      port number outside 1-16
 *   PORT_OPEN         the port is held by another thread or program
 *   PORT_UNAVAILABLE  the device cannot be opened; the text names the reason
 *   SET_LINE          the device refused the line settings */
#define KORVEL_ERR_OVERFLOW 6
#define KORVEL_ERR_OUT_OF_MEMORY 7
#define KORVEL_ERR_NO_REPLY 9
#define KORVEL_ERR_INVALID_PROPERTY 380
#define KORVEL_ERR_INVALID_PORT 8002
#define KORVEL_ERR_PORT_OPEN 8005
#define KORVEL_ERR_PORT_UNAVAILABLE 8010
#define KORVEL_ERR_PORT_NOT_OPEN 8012
#define KORVEL_ERR_SET_LINE 8015
#define KORVEL_ERR_READ 8020
#define KORVEL_ERR_WRITE 8021

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

#include <cstdint>
#include <stdexcept>
#include <string>

namespace korvel {

// An error of the sender: one of the KORVEL_ERR_ numbers and its description.
class KorvelError : public std::runtime_error {
public:
    KorvelError(int number, const std::string& description) : std::runtime_error(description), number_(number) {}
    int number() const { return number_; }
    std::string description() const { return what(); }

private:
    int number_;
};

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
