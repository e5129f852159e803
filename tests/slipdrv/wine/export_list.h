// The 80 exports of slipdrv.dll in ordinal order (ordinal = position from 1),
// for tests that bind them as hosts do: SLIPDRV_EXPORTS(X) expands X(name) for each.
#ifndef SLIPDRV_WINE_EXPORT_LIST_H
#define SLIPDRV_WINE_EXPORT_LIST_H

// clang-format off
#define SLIPDRV_EXPORTS(X) \
    X(BPOpenPrinter) X(BPClosePrinter) X(BPPrintString) X(BPEnableCallBackFunc) X(BPSetCallBackFunc) \
    X(BPPrintAndFeed) X(BPPrintNotFeed) X(BPPrintExitStandardMode) X(BPRealtimeGetStatus) \
    X(BPMoveHorizontalTAB) X(BPCancelPrintPageMode) X(BPRealtimeResponse) X(BPPrintPageMode) \
    X(BPSetASCIIRightSpace) X(BPSetPrintMode) X(BPSetAbsoluPrintPosition) X(BPSelectUserDefineSet) \
    X(BPUserDefineCharacter) X(BPSetUnderLine) X(BPSelectDefaultLineSpace) X(BPSetLineSpace) \
    X(BPCancelUserDefineCharacter) X(BPInitializePrinter) X(BPSetHorizonTABPosition) X(BPEmphasizedPrintSet) \
    X(BPSuperposePrintSet) X(BPPrintFeedPaper) X(BPSelectPageMode) X(BPSelectCharacterAB) \
    X(BPSelectInternationalCharacterSet) X(BPSelectStardardMode) X(BPPagePrintDirection) \
    X(BPClockwiseRotation90Set) X(BPSetPrintAreaPageMode) X(BPSetRelativePrintPosition) \
    X(BPSelectJustification) X(BPSelectPaperSensor) X(BPSelectSensorStopPrint) X(BPSetPanelButtonsEnable) \
    X(BPPrintFeedSomeLines) X(BPSelectCharacterCodeTable) X(BPFeedMarkStartPosition) X(BPSelectCharacterSize) \
    X(BPPageAbsoluVerticalPosition) X(BPExecuteTestPrint) X(BPUserDefineCommand) X(BPSetMemorySwitch) \
    X(BPGetMemorySwitch) X(BPSetAdjustmentValue) X(BPCustomizeControlValue) X(BPSelectHRIPosition) \
    X(BPTransmitPrinterID) X(BPSetLeftMargin) X(BPSetBeginningPosition) X(BPSelectCutPaper) \
    X(BPSetPrintingAreaWidth) X(BPPageRelativeVertialPosition) X(BPAutoStatusBackSet) X(BPSmoothingModeSet) \
    X(BPSelectHRICharacter) X(BPSetBarCodeHeight) X(BPPrintBarCode) X(BPTransmitStatus) X(BPSetBarCodeWidth) \
    X(BPSetChinesePrintMode) X(BPSelectChineseMode) X(BPChineseUnderLineSet) X(BPExitChineseMode) \
    X(BPUserDefineChinese) X(BPSelectChineseCodeSys) X(BPSetChineseLRSpace) X(BPSetChineseQuadrupleSize) \
    X(BPUpsidedownPrintiModeSet) X(BPPrintNVBitImage) X(BPDefineNVBitImage) X(BPPrintBitmap) \
    X(BPPrintDownloadBitImage) X(BPOpenCashBox) X(BPPrintQRCode) X(BPPrintStringUTF8)
// clang-format on

#endif
