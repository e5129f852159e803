/* venue-receipt: a venue's receipt printed through slipdrv the way a till
 * prints it: the logo, the venue's name in large Chinese characters, the
 * table's lines in Chinese mode, the bill number as a barcode, then a cut and
 * the cash drawer.
 *
 *   venue-receipt [PORT [LOGO.bmp]]
 *
 * PORT 1-10 is COM1-COM10 (on Linux the device named by SLIPDRV_COM<n>),
 * 11-12 LPT1-LPT2; the default is 1. Chinese text goes to the printer in
 * GB18030, the printer's encoding in Chinese mode. Exit 0 when every call
 * succeeded, 1 otherwise (each failure is named on stderr). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "slipdrv.h"

static int failures;

static void check(int result, const char* what) {
    if (result != 0) {
        fprintf(stderr, "venue-receipt: %s failed\n", what);
        ++failures;
    }
}

/* The lines of the bill, GB18030-encoded. */
static const char* const kLines[] = {
    "\xD7\xC0\xBA\xC5\xA3\xBA"
    "7\xBA\xC5\xCC\xA8",                              /* 桌号：7号台 */
    "\xBF\xAA\xCC\xA8 14:05  \xBD\xE1\xCA\xF8 15:30", /* 开台 14:05  结束 15:30 */
    "\xCA\xB1\xB3\xA4 1\xD0\xA1\xCA\xB1"
    "25\xB7\xD6",                                         /* 时长 1小时25分 */
    "\xCC\xA8\xB7\xD1        35.50\xD4\xAA",              /* 台费        35.50元 */
    "\xBB\xE1\xD4\xB1\xD3\xE0\xB6\xEE    120.00\xD4\xAA", /* 会员余额    120.00元 */
};
static const char kVenue[] = "\xD0\xC7\xB9\xE2\xCC\xA8\xC7\xF2\xBE\xE3\xC0\xD6\xB2\xBF"; /* 星光台球俱乐部 */
static const char kThanks[] =
    "\xD0\xBB\xD0\xBB\xB9\xE2\xC1\xD9\xA3\xAC\xBB\xB6\xD3\xAD\xD4\xD9\xC0\xB4\xA3\xA1"; /* 谢谢光临，欢迎再来！ */
static const char kRule[] = "------------------------------------------------";
/* Code 128, code set B. */
static const char kBillNumber[] = "{BNo.20261208-0007";

static void line(const char* text) {
    char buffer[256];
    snprintf(buffer, sizeof buffer, "%s\n", text);
    check(BPPrintString(buffer), "a line of text");
}

int main(int argc, char** argv) {
    const int port = argc > 1 ? atoi(argv[1]) : 1;
    const char* logo = argc > 2 ? argv[2] : NULL;
    size_t i;

    if (BPOpenPrinter(port, 9600) != 0) {
        fprintf(stderr, "venue-receipt: cannot open port %d\n", port);
        return 1;
    }
    check(BPInitializePrinter(), "initialising the printer");
    check(BPSelectJustification(1), "centring");
    if (logo) check(BPPrintBitmap(logo, 33), "the logo");

    check(BPSelectChineseMode(), "Chinese mode");
    check(BPSetChineseQuadrupleSize(1), "quadruple size");
    line(kVenue);
    check(BPSetChineseQuadrupleSize(0), "normal size");
    check(BPSelectJustification(0), "left justification");
    line(kRule);
    for (i = 0; i < sizeof kLines / sizeof kLines[0]; ++i) line(kLines[i]);
    line(kRule);
    check(BPSelectJustification(1), "centring");
    line(kThanks);
    check(BPExitChineseMode(), "leaving Chinese mode");

    check(BPSetBarCodeHeight(60), "the barcode height");
    check(BPSetBarCodeWidth(2), "the barcode module width");
    check(BPSelectHRIPosition(2), "the barcode text position");
    check(BPPrintBarCode(73, (int)strlen(kBillNumber), kBillNumber), "the barcode");
    check(BPPrintFeedSomeLines(3), "the feed");
    check(BPSelectCutPaper(66, 0), "the cut");
    check(BPOpenCashBox(), "the cash drawer");
    BPClosePrinter();
    return failures ? 1 : 0;
}
