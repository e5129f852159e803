/* slipdrv: drives an ESC/POS receipt printer on a serial (COM1-COM10) or
 * parallel (LPT1-LPT2) port. Every export returns 0 on success and -1 on
 * failure unless stated otherwise. The exports are meant to be called from
 * one thread at a time. */
#ifndef SLIPDRV_H
#define SLIPDRV_H

#ifdef _WIN32
#define SLIPDRV_CALL __stdcall /* callee cleans the stack (32-bit hosts) */
#define SLIPDRV_CDECL __cdecl
#else
#define SLIPDRV_CALL
#define SLIPDRV_CDECL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Receives one byte from the printer in its low 8 bits, on the library's
 * serial worker thread; the upper bits carry no meaning. */
typedef void(SLIPDRV_CALL* BPStatusCallback)(int status);

/* Port 1-10: COM port at a baud rate of 2400-115200; port 11-12: LPT1-LPT2 (baud ignored). */
int SLIPDRV_CALL BPOpenPrinter(int port, int baud);                    /* ordinal 1 */
/* Closes the port of the active kind; always 0. */
int SLIPDRV_CALL BPClosePrinter(void);                                 /* ordinal 2 */
/* Sends the bytes before the first zero byte, unchanged. */
int SLIPDRV_CALL BPPrintString(const char* text);                      /* ordinal 3 */
/* Non-zero: hand received bytes to the status callback; 0: keep them. Always 0. */
int SLIPDRV_CALL BPEnableCallBackFunc(int flag);                       /* ordinal 4 */
/* Stores the status callback; -1 for a null pointer (the previous one stays). */
int SLIPDRV_CALL BPSetCallBackFunc(BPStatusCallback callback);         /* ordinal 5 */

#ifdef __cplusplus
}
#endif

#endif /* SLIPDRV_H */
