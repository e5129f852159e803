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

/* Receives one byte from the printer in its low 8 bits, on a thread of the
 * library's, one call at a time; the upper bits carry no meaning. A call still
 * running when the port closes is left to finish. Unloading the library while
 * a call runs is the host's error: the library then stays loaded until the
 * call returns. */
typedef void(SLIPDRV_CALL* BPStatusCallback)(int status);

/* Port 1-10: COM port at a baud rate of 2400-115200; port 11-12: LPT1-LPT2 (baud ignored). */
int SLIPDRV_CALL BPOpenPrinter(int port, int baud); /* ordinal 1 */
/* Closes the port of the active kind; 0, or -1 when a printer queue could not
 * hand over its last job. */
int SLIPDRV_CALL BPClosePrinter(void); /* ordinal 2 */
/* Sends the bytes before the first zero byte, unchanged. */
int SLIPDRV_CALL BPPrintString(const char* text); /* ordinal 3 */
/* Non-zero: hand received bytes to the status callback; 0: keep them. Always 0. */
int SLIPDRV_CALL BPEnableCallBackFunc(int flag); /* ordinal 4 */
/* Stores the status callback; -1 for a null pointer (the previous one stays). */
int SLIPDRV_CALL BPSetCallBackFunc(BPStatusCallback callback); /* ordinal 5 */

/* 6: LF: print the line buffer and feed one line */
int SLIPDRV_CALL BPPrintAndFeed(void);
/* 7: CR */
int SLIPDRV_CALL BPPrintNotFeed(void);
/* 8: FF: print the page and return to standard mode */
int SLIPDRV_CALL BPPrintExitStandardMode(void);
/* 9: DLE EOT n (1-5); the accepted reply byte 0-255, or -1 */
int SLIPDRV_CALL BPRealtimeGetStatus(int n);
/* 10: HT */
int SLIPDRV_CALL BPMoveHorizontalTAB(void);
/* 11: CAN: cancel the page-mode data */
int SLIPDRV_CALL BPCancelPrintPageMode(void);
/* 12: DLE ENQ n (1, 2) */
int SLIPDRV_CALL BPRealtimeResponse(int n);
/* 13: ESC FF: print the page in page mode */
int SLIPDRV_CALL BPPrintPageMode(void);
/* 14: ESC SP n (0-255) */
int SLIPDRV_CALL BPSetASCIIRightSpace(int n);
/* 15: ESC ! n (0-255) */
int SLIPDRV_CALL BPSetPrintMode(int n);
/* 16: ESC $ nL nH (0-255 each); caller cleans the stack */
int SLIPDRV_CDECL BPSetAbsoluPrintPosition(int nL, int nH);
/* 17: ESC % n (0-255) */
int SLIPDRV_CALL BPSelectUserDefineSet(int n);
/* 18: ESC & 3 c1 c2 x + 3*x pattern bytes (c1 <= c2 in 32-126, x 0-12) */
int SLIPDRV_CALL BPUserDefineCharacter(int c1, int c2, int x, const char* pattern);
/* 19: ESC - n (0-2, 48-50) */
int SLIPDRV_CALL BPSetUnderLine(int n);
/* 20: ESC 2 */
int SLIPDRV_CALL BPSelectDefaultLineSpace(void);
/* 21: ESC 3 n (0-255) */
int SLIPDRV_CALL BPSetLineSpace(int n);
/* 22: ESC ? n (32-126) */
int SLIPDRV_CALL BPCancelUserDefineCharacter(int n);
/* 23: ESC @ */
int SLIPDRV_CALL BPInitializePrinter(void);
/* 24: ESC D list NUL, from a text such as "8,16,24" (at most 97 numbers of at most 3 digits) */
int SLIPDRV_CALL BPSetHorizonTABPosition(const char* positions);
/* 25: ESC E n (0-255) */
int SLIPDRV_CALL BPEmphasizedPrintSet(int n);
/* 26: ESC G n (0-255) */
int SLIPDRV_CALL BPSuperposePrintSet(int n);
/* 27: ESC J n (0-255) */
int SLIPDRV_CALL BPPrintFeedPaper(int n);
/* 28: ESC L */
int SLIPDRV_CALL BPSelectPageMode(void);
/* 29: ESC M n (0, 1, 48, 49) */
int SLIPDRV_CALL BPSelectCharacterAB(int n);
/* 30: ESC R n (0-13) */
int SLIPDRV_CALL BPSelectInternationalCharacterSet(int n);
/* 31: ESC S */
int SLIPDRV_CALL BPSelectStardardMode(void);
/* 32: ESC T n (0-3, 48-51) */
int SLIPDRV_CALL BPPagePrintDirection(int n);
/* 33: ESC V n (0, 1, 48, 49) */
int SLIPDRV_CALL BPClockwiseRotation90Set(int n);
/* 34: ESC W, in millimetres (x 0-80, y 0-180, width 1-80, height 1-185) */
int SLIPDRV_CALL BPSetPrintAreaPageMode(int x, int y, int width, int height);
/* 35: ESC \ nL nH (0-255 each) */
int SLIPDRV_CALL BPSetRelativePrintPosition(int nL, int nH);
/* 36: ESC a n (0-2, 48-50) */
int SLIPDRV_CALL BPSelectJustification(int n);
/* 37: ESC c 3 n (0-255) */
int SLIPDRV_CALL BPSelectPaperSensor(int n);
/* 38: ESC c 4 n (0-255) */
int SLIPDRV_CALL BPSelectSensorStopPrint(int n);
/* 39: ESC c 5 n (0-255) */
int SLIPDRV_CALL BPSetPanelButtonsEnable(int n);
/* 40: ESC d n (0-255) */
int SLIPDRV_CALL BPPrintFeedSomeLines(int n);
/* 41: ESC t n (0-5, 16-19, 255) */
int SLIPDRV_CALL BPSelectCharacterCodeTable(int n);
/* 42: GS FF */
int SLIPDRV_CALL BPFeedMarkStartPosition(void);
/* 43: GS ! n: width 0-7 to the upper, height 0-7 to the lower four bits */
int SLIPDRV_CALL BPSelectCharacterSize(int width, int height);
/* 44: GS $ nL nH (0-255 each); caller cleans the stack */
int SLIPDRV_CDECL BPPageAbsoluVerticalPosition(int nL, int nH);
/* 45: GS ( A (n 0-2, 48-50; m 1-3, 49-51) */
int SLIPDRV_CALL BPExecuteTestPrint(int n, int m);
/* 46: GS ( E: 1 enters, 2 ends the user setting mode */
int SLIPDRV_CALL BPUserDefineCommand(int n);
/* 47: GS ( E function 3: switch set a (1-8), the low bytes of 8 integers */
int SLIPDRV_CALL BPSetMemorySwitch(int a, const int* values);
/* 48: GS ( E function 4 (a 1-8); the reply goes into buffer (at least 11 bytes) */
int SLIPDRV_CALL BPGetMemorySwitch(int a, unsigned char* buffer);
/* 49: GS ( F (a 1-2; m 0, 1, 48, 49; nL + 256*nH at most 1600) */
int SLIPDRV_CALL BPSetAdjustmentValue(int a, int m, int nL, int nH);
/* 50: GS ( M (n 1-3, 49-51; m 0, 1, 48, 49) */
int SLIPDRV_CALL BPCustomizeControlValue(int n, int m);
/* 51: GS H n (0-3, 48-51) */
int SLIPDRV_CALL BPSelectHRIPosition(int n);
/* 52: GS I n (1-3, 49-51); the accepted reply byte 0-255, or -1 */
int SLIPDRV_CALL BPTransmitPrinterID(int n);
/* 53: GS L nL nH (0-255 each) */
int SLIPDRV_CALL BPSetLeftMargin(int nL, int nH);
/* 54: GS T n (0, 1, 48, 49) */
int SLIPDRV_CALL BPSetBeginningPosition(int n);
/* 55: GS V m (0, 1, 48, 49) or GS V 66 n (n 0-255) */
int SLIPDRV_CALL BPSelectCutPaper(int m, int n);
/* 56: GS W nL nH (0-255 each) */
int SLIPDRV_CALL BPSetPrintingAreaWidth(int nL, int nH);
/* 57: GS \ nL nH (0-255 each) */
int SLIPDRV_CALL BPPageRelativeVertialPosition(int nL, int nH);
/* 58: GS a n (0-255) */
int SLIPDRV_CALL BPAutoStatusBackSet(int n);
/* 59: GS b n (0-255) */
int SLIPDRV_CALL BPSmoothingModeSet(int n);
/* 60: GS f n (0, 1, 48, 49) */
int SLIPDRV_CALL BPSelectHRICharacter(int n);
/* 61: GS h n (1-255) */
int SLIPDRV_CALL BPSetBarCodeHeight(int n);
/* 62: GS k: m 0-8 (data closed by NUL) or 65-75 (count byte n first), n 1-255 */
int SLIPDRV_CALL BPPrintBarCode(int m, int n, const char* data);
/* 63: GS r n (1, 49); the accepted reply byte 0-255, or -1 */
int SLIPDRV_CALL BPTransmitStatus(int n);
/* 64: GS w n (2-6) */
int SLIPDRV_CALL BPSetBarCodeWidth(int n);
/* 65: FS ! n (0-255) */
int SLIPDRV_CALL BPSetChinesePrintMode(int n);
/* 66: FS & */
int SLIPDRV_CALL BPSelectChineseMode(void);
/* 67: FS - n (0-2, 48-50) */
int SLIPDRV_CALL BPChineseUnderLineSet(int n);
/* 68: FS . */
int SLIPDRV_CALL BPExitChineseMode(void);
/* 69: FS 2 c1 c2 + the low bytes of 72 integers (24 x 24 dots) */
int SLIPDRV_CALL BPUserDefineChinese(int c1, int c2, const int* pattern);
/* 70: FS C n (0-2, 48-50) */
int SLIPDRV_CALL BPSelectChineseCodeSys(int n);
/* 71: FS S left right (0-255 each) */
int SLIPDRV_CALL BPSetChineseLRSpace(int left, int right);
/* 72: FS W n (0-255) */
int SLIPDRV_CALL BPSetChineseQuadrupleSize(int n);
/* 73: ESC { n (0-255) */
int SLIPDRV_CALL BPUpsidedownPrintiModeSet(int n);
/* 74: FS p n m: print NV image n (0-255) in mode m (0-3, 48-51) */
int SLIPDRV_CALL BPPrintNVBitImage(int n, int m);
/* 75: FS q 1 ...: store a bitmap file as NV image 1 (staged in "image.bin") */
int SLIPDRV_CALL BPDefineNVBitImage(const char* path);
/* 76: ESC * m ... ESC J 24 per band: print a bitmap file (staged in "top.bin");
 * modes 0 and 1 print 8-dot bands, every other mode 24-dot bands */
int SLIPDRV_CALL BPPrintBitmap(const char* path, int m);
/* 77: GS * x y, the image, GS / m: print a bitmap file through the download buffer */
int SLIPDRV_CALL BPPrintDownloadBitImage(const char* path, int m);
/* 78: ESC p 0 255 255: pulse the cash drawer */
int SLIPDRV_CALL BPOpenCashBox(void);
/* 79: GS ( k, in one write: a model 2 QR code of the bytes before the zero
 * (1-7089 of them), module size 1-16 dots, error correction 0-3 or 48-51
 * (L, M, Q, H), printed at once */
int SLIPDRV_CALL BPPrintQRCode(const char* data, int moduleSize, int errorLevel);
#define SLIPDRV_QR_LEVEL_L 48 /* about 7% of the symbol can be restored */
#define SLIPDRV_QR_LEVEL_M 49 /* 15% */
#define SLIPDRV_QR_LEVEL_Q 50 /* 25% */
#define SLIPDRV_QR_LEVEL_H 51 /* 30% */
/* 80: UTF-8 text converted to GB18030, or the set BPSetTextEncoding chose
 * (ASCII unchanged), and sent as BPPrintString sends its bytes; -1 with
 * nothing sent for malformed UTF-8.
 * Multi-byte characters print in Chinese mode (BPSelectChineseMode). */
int SLIPDRV_CALL BPPrintStringUTF8(const char* text);

/* 81: opens the port a text names, as BPOpenPrinter opens one by number:
 * "COM1".."COM10" (optionally ":BAUD", default 9600), "LPT1", "LPT2",
 * "tcp://HOST:PORT" (a network printer), "printer:NAME" (a printer queue;
 * "printer:" alone is the system's default queue), "usb:" (the first USB
 * printer), "usb:TEXT" (the one whose device path is TEXT, else the first
 * whose IEEE 1284 device ID holds TEXT, letter case aside). The prefixes may
 * be written in either case. The text ends with its zero within 4096 bytes.
 * 0 opened; -1 for a text that names no port, or a COM port at a rate
 * outside 2400-115200 (nothing changes), or a port that could not be opened
 * (it is left closed).
 * Network, queue and USB ports named here are a kind of their own beside the
 * COM and LPT kinds: opening one closes only the port named before it. */
int SLIPDRV_CALL BPOpenPrinterByName(const char* port);

/* 82: the ports that can be opened now, one a line (LF) into `buffer`, then a
 * zero: COM and LPT ports that exist or are mapped, "printer:NAME" for each
 * printer queue (the default first), "usb:PATH" TAB device ID for each USB
 * printer. Each line starts with a text BPOpenPrinterByName takes. Names are
 * in the system's ANSI code page on Windows, UTF-8 on Linux. The number of
 * lines; -1 with nothing written for a null buffer or one the list and its
 * zero do not fit. */
int SLIPDRV_CALL BPEnumPrinterPorts(char* buffer, int size);

/* 83: the character set BPPrintStringUTF8 and BPPrintRowUTF8 produce, for
 * the whole library (it holds across open and close): SLIPDRV_TEXT_GB18030
 * (the setting at load), SLIPDRV_TEXT_GBK (two-byte codes only),
 * SLIPDRV_TEXT_BIG5, SLIPDRV_TEXT_UTF8 (the text is sent as it is). A
 * character GBK or Big5 lacks is sent as one the set has that reads the same
 * (the full-width yen sign for the yen sign; a Simplified character's
 * Traditional form in Big5), else as '?'. GB18030 keeps refusing the few
 * private-use characters it has no code for. 0; -1 for any other value
 * (the setting stays). Nothing is sent. */
int SLIPDRV_CALL BPSetTextEncoding(int encoding);
#define SLIPDRV_TEXT_GB18030 0
#define SLIPDRV_TEXT_GBK 1
#define SLIPDRV_TEXT_BIG5 2
#define SLIPDRV_TEXT_UTF8 3

/* 84: one bill row, in one write: `cells` holds the UTF-8 texts of the row
 * separated by TABs, `layout` as many cells, comma-separated, each a width
 * in columns (1-255) and an alignment letter L, C or R, such as "20L,12R"
 * (48 columns print on 80 mm paper, 32 on 58 mm, at normal character size).
 * A character sent as one byte takes one column, one sent as several bytes
 * two; with SLIPDRV_TEXT_UTF8, East Asian wide and full-width characters two,
 * the rest one. Each text is padded with blanks to its cell as the letter
 * says; a text wider than its cell goes on over further lines of the row in
 * its own column, broken at a blank or between two wide characters where it
 * can be, else between any two characters; the other cells are blank there.
 * Each line ends with LF. Lines holding multi-byte characters are sent in
 * Chinese mode (FS &); the mode is put back as BPSelectChineseMode and
 * BPExitChineseMode last left it (when neither was sent since the port was
 * opened or the printer initialized, it is left on).
 * 0; -1 with nothing sent for a null pointer, malformed UTF-8, a control
 * character in a text, a malformed layout, 1-16 cells not matched by as
 * many texts, a character wider than its cell, or a row of more than
 * 16 MiB. */
int SLIPDRV_CALL BPPrintRowUTF8(const char* cells, const char* layout);

/* Bits of the reply bytes of BPRealtimeGetStatus(n), DLE EOT n. Bits 1 and 4
 * of every reply are 1, bits 0 and 7 are 0. */
/* n = 1, printer status */
#define SLIPDRV_STATUS1_DRAWER_PIN 0x04 /* drawer kick-out connector pin 3 is high */
#define SLIPDRV_STATUS1_OFFLINE 0x08
/* n = 2, why the printer is offline */
#define SLIPDRV_STATUS2_COVER_OPEN 0x04
#define SLIPDRV_STATUS2_FEED_BUTTON 0x08    /* paper is being fed by the feed button */
#define SLIPDRV_STATUS2_PAPER_END_STOP 0x20 /* printing stopped at the end of the paper */
#define SLIPDRV_STATUS2_ERROR 0x40
/* n = 3, which error */
#define SLIPDRV_STATUS3_AUTOCUTTER_ERROR 0x08
#define SLIPDRV_STATUS3_UNRECOVERABLE 0x20
#define SLIPDRV_STATUS3_AUTO_RECOVERABLE 0x40
/* n = 4, paper sensors (two bits each) */
#define SLIPDRV_STATUS4_PAPER_NEAR_END 0x0C
#define SLIPDRV_STATUS4_PAPER_END 0x60

/* Symbology codes m of BPPrintBarCode. Format A: the data closed by NUL. */
#define SLIPDRV_BARCODE_A_UPC_A 0
#define SLIPDRV_BARCODE_A_UPC_E 1
#define SLIPDRV_BARCODE_A_JAN13 2
#define SLIPDRV_BARCODE_A_JAN8 3
#define SLIPDRV_BARCODE_A_CODE39 4
#define SLIPDRV_BARCODE_A_ITF 5
#define SLIPDRV_BARCODE_A_CODABAR 6
#define SLIPDRV_BARCODE_A_PRINTER_OWN_13_DIGITS 7 /* the printer's own code, 12-13 digits */
#define SLIPDRV_BARCODE_A_PRINTER_OWN_8_DIGITS 8  /* the printer's own code, 7-8 digits */
/* Format B: the count byte n first. */
#define SLIPDRV_BARCODE_B_UPC_A 65
#define SLIPDRV_BARCODE_B_UPC_E 66
#define SLIPDRV_BARCODE_B_JAN13 67
#define SLIPDRV_BARCODE_B_JAN8 68
#define SLIPDRV_BARCODE_B_CODE39 69
#define SLIPDRV_BARCODE_B_ITF 70
#define SLIPDRV_BARCODE_B_CODABAR 71
#define SLIPDRV_BARCODE_B_CODE93 72
#define SLIPDRV_BARCODE_B_CODE128 73
#define SLIPDRV_BARCODE_B_PRINTER_OWN_13_DIGITS 74
#define SLIPDRV_BARCODE_B_PRINTER_OWN_8_DIGITS 75

#ifdef __cplusplus
}
#endif

#endif /* SLIPDRV_H */
