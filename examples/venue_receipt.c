/* venue-receipt: a venue's receipt printed through slipdrv the way a till
 * prints it: the logo, the venue's name in large Chinese characters, the
 * bill's rows laid out in columns, the bill number as a barcode and a QR code
 * to pay it, then a cut and the cash drawer.
 *
 *   venue-receipt [PORT [LOGO.bmp]]
 *
 * PORT 1-10 is COM1-COM10 (on Linux the device named by SLIPDRV_COM<n>),
 * 11-12 LPT1-LPT2; the default is 1. The text is UTF-8; the library sends it
 * in GB18030, the printer's encoding in Chinese mode, and pads each row's
 * cells by the width the characters print at (a Chinese character takes two
 * columns). Exit 0 when every call succeeded, 1 otherwise (each failure is
 * named on stderr). */
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

/* The rows of the bill, their cells separated by TABs, in three columns of
 * the 48 an 80 mm printer prints; this file is UTF-8. */
static const char kLayout[] = "24L,10R,14R";
static const char* const kRows[] = {
    "桌号：7号台\t\t",
    "开台 14:05  结束 15:30\t\t",
    "台费 (每小时25.00元)\t1小时25分\t35.50元",
    "可乐\t×2\t6.00元",
    "会员折扣 (八折, 周一至周五全天有效)\t\t-8.30元",
};
static const char* const kTotals[] = {"合计\t\t33.20元", "会员余额\t\t120.00元"};
static const char kVenue[] = "星光台球俱乐部";
static const char kThanks[] = "谢谢光临，欢迎再来！";
static const char kRule[] = "------------------------------------------------";
/* Code 128, code set B. */
static const char kBillNumber[] = "{BNo.20261208-0007";
/* The bill to pay by phone. */
static const char kPayment[] = "https://pay.example/bill/20261208-0007";

static void line(const char* text) {
    char buffer[256];
    snprintf(buffer, sizeof buffer, "%s\n", text);
    check(BPPrintStringUTF8(buffer), "a line of text");
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
    for (i = 0; i < sizeof kRows / sizeof kRows[0]; ++i) check(BPPrintRowUTF8(kRows[i], kLayout), "a row of the bill");
    line(kRule);
    for (i = 0; i < sizeof kTotals / sizeof kTotals[0]; ++i)
        check(BPPrintRowUTF8(kTotals[i], kLayout), "a row of the totals");
    line(kRule);
    check(BPSelectJustification(1), "centring");
    line(kThanks);
    check(BPExitChineseMode(), "leaving Chinese mode");

    check(BPSetBarCodeHeight(60), "the barcode height");
    check(BPSetBarCodeWidth(2), "the barcode module width");
    check(BPSelectHRIPosition(2), "the barcode text position");
    check(BPPrintBarCode(73, (int)strlen(kBillNumber), kBillNumber), "the barcode");
    check(BPPrintQRCode(kPayment, 5, SLIPDRV_QR_LEVEL_M), "the QR code");
    check(BPPrintFeedSomeLines(3), "the feed");
    check(BPSelectCutPaper(66, 0), "the cut");
    check(BPOpenCashBox(), "the cash drawer");
    BPClosePrinter();
    return failures ? 1 : 0;
}
