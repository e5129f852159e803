{ A short receipt through the generated Pascal unit: text as ANSI and as raw
  bytes, a line of Chinese given as UTF-8, a bill row, a cut, then the paper
  sensor's status. Prints the results for run_declarations.sh to check. }
program receipt;

{$IFDEF FPC}
{$MODE DELPHI}
{$CODEPAGE UTF8}
{$ENDIF}

uses
  slipdrv;

const
  Total: array[0..5] of AnsiChar = (#$BA, #$CF, #$BC, #$C6, #10, #0); { "合计" in GB18030 }

var
  Results: array[0..5] of Integer;
  I: Integer;

begin
  if BPOpenPrinter(1, 9600) <> 0 then
  begin
    WriteLn('BPOpenPrinter failed');
    Halt(1);
  end;
  Results[0] := BPPrintString(PAnsiChar(AnsiString('Table 7'#10)));
  Results[1] := BPPrintString(@Total[0]);
  Results[2] := BPSelectChineseMode;
  Results[3] := BPPrintStringUTF8(PAnsiChar(UTF8String('宫保鸡丁'#10)));
  Results[4] := BPPrintRowUTF8(PAnsiChar(UTF8String('宫保鸡丁'#9'x2'#9'38.00')), '12L,4R,12R');
  Results[5] := BPSelectCutPaper(66, 0);
  Write('results');
  for I := Low(Results) to High(Results) do
    Write(' ', Results[I]);
  WriteLn;
  WriteLn('status ', BPRealtimeGetStatus(4));
  Halt(BPClosePrinter);
end.
