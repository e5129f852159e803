// A short receipt through the generated C# declarations: text as a string and
// as raw bytes, a line of Chinese given as UTF-8, a bill row, a cut, then the
// paper sensor's status. Prints the results for run_declarations.sh to check.
using System;
using CounterKit;

static class Receipt
{
    static int Main()
    {
        if (Slipdrv.BPOpenPrinter(1, 9600) != 0)
        {
            Console.WriteLine("BPOpenPrinter failed");
            return 1;
        }
        int[] results = {
            Slipdrv.BPPrintString("Table 7\n"),
            Slipdrv.BPPrintString(new byte[] { 0xBA, 0xCF, 0xBC, 0xC6, 0x0A }), // "合计" in GB18030
            Slipdrv.BPSelectChineseMode(),
            Slipdrv.BPPrintStringUTF8("宫保鸡丁\n"),
            Slipdrv.BPPrintRowUTF8("宫保鸡丁\tx2\t38.00", "12L,4R,12R"),
            Slipdrv.BPSelectCutPaper(66, 0),
        };
        Console.WriteLine("results " + string.Join(" ", Array.ConvertAll(results, r => r.ToString())));
        Console.WriteLine("status " + Slipdrv.BPRealtimeGetStatus(4));
        return Slipdrv.BPClosePrinter();
    }
}
