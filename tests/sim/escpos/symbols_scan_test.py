#!/usr/bin/python3
"""2D symbols of GS ( k rendered by receipt-render and read back with zxing-cpp.

Each case is a byte stream written from the command's definition: the
settings functions, fn 80 storing the data and fn 81 printing it, on a
576-dot paper. The PNG must decode to the stored data as the named symbol,
and the settings must show in its size: a larger module gives a larger
symbol, a truncated PDF417 a narrower one, a DataMatrix of a given size that
many modules, an Aztec of a given mode and layers its fixed size.
Usage: symbols_scan_test.py RECEIPT_RENDER
"""
import os
import subprocess
import sys
import tempfile

import zxingcpp
from PIL import Image

GS = 0x1D


def k(cn, fn, *params):
    body = bytes([cn, fn, *params])
    return bytes([GS, ord('('), ord('k'), len(body) & 0xFF, len(body) >> 8]) + body


def store_and_print(cn, data):
    return k(cn, 80, 48, *data) + k(cn, 81, 48)


def black_box(image):
    """The extent (width, height) of the black dots."""
    bbox = Image.eval(image.convert('L'), lambda v: 255 - v).getbbox()
    return (bbox[2] - bbox[0], bbox[3] - bbox[1]) if bbox else (0, 0)


def render(renderer, stream, directory, name):
    path = os.path.join(directory, name + '.bin')
    with open(path, 'wb') as out:
        out.write(b'\n' + bytes([0x1B, ord('a'), 1]) + stream + b'\n\n')
    subprocess.run([renderer, '--out', os.path.join(directory, name), path], check=True, stderr=subprocess.DEVNULL)
    return Image.open(os.path.join(directory, name + '-1.png'))


def main():
    renderer = sys.argv[1]
    text = b'Table 12 / 2 guests / 35.50'
    F = zxingcpp.BarcodeFormat
    # name, stream, format, expected black (width, height) or None
    cases = [
        ('pdf417 default', store_and_print(48, text), F.PDF417, None),
        ('pdf417 4 columns, module 2, rows 4 high, level 5',
         k(48, 65, 4) + k(48, 67, 2) + k(48, 68, 4) + k(48, 69, 48, 53) + store_and_print(48, text), F.PDF417,
         # 4 data columns: start 17, left and right indicators 17 each, stop 18 modules = 4 x 17 + 69 = 137 modules.
         (137 * 2, None)),
        ('pdf417 truncated', k(48, 65, 4) + k(48, 67, 2) + k(48, 70, 1) + store_and_print(48, text), F.PDF417,
         # truncated: start 17, left indicator 17, data 4 x 17, stop 1 module.
         (103 * 2, None)),
        ('maxicode mode 4', k(50, 65, 52) + store_and_print(50, text), F.MaxiCode, None),
        ('datamatrix square 22, module 4', k(54, 66, 48, 22, 0) + k(54, 67, 4) + store_and_print(54, text),
         F.DataMatrix, (22 * 4, 22 * 4)),
        ('datamatrix rectangle 36 x 16, module 3', k(54, 66, 49, 36, 16) + k(54, 67, 3) + store_and_print(54, text),
         F.DataMatrix, (36 * 3, 16 * 3)),
        ('aztec compact, 3 layers, module 4', k(53, 66, 49, 3) + k(53, 67, 4) + store_and_print(53, text),
         F.Aztec, ((11 + 4 * 3) * 4, (11 + 4 * 3) * 4)),
        ('aztec full range, 4 layers', k(53, 66, 48, 4) + k(53, 67, 3) + store_and_print(53, text), F.Aztec,
         # full range 4 layers: 15 + 4 x 4 = 31 modules, plus one reference grid line: 31.
         ((15 + 4 * 4) * 3, (15 + 4 * 4) * 3)),
        ('aztec 50% correction', k(53, 67, 3) + k(53, 69, 50) + store_and_print(53, text), F.Aztec, None),
    ]
    failures = 0
    with tempfile.TemporaryDirectory() as directory:
        for i, (name, stream, fmt, size) in enumerate(cases):
            image = render(renderer, stream, directory, 'case%d' % i)
            found = zxingcpp.read_barcodes(image, formats=fmt)
            texts = [r.text for r in found]
            box = black_box(image)
            ok = texts == [text.decode()]
            if size:
                ok = ok and all(want is None or got == want for got, want in zip(box, size))
            print('%s %s: read %r, %d x %d dots' % ('ok  ' if ok else 'FAIL', name, texts, box[0], box[1]))
            failures += not ok
        # More error correction gives a larger symbol of the same data.
        for name, low, high in [
                ('pdf417 level 1 against 6', k(48, 65, 4) + k(48, 69, 48, 49), k(48, 65, 4) + k(48, 69, 48, 54)),
                ('aztec 10% against 50%', k(53, 69, 10), k(53, 69, 50))]:
            cn = 48 if name.startswith('pdf417') else 53
            small = black_box(render(renderer, low + store_and_print(cn, text), directory, 'low'))
            large = black_box(render(renderer, high + store_and_print(cn, text), directory, 'high'))
            ok = small[0] * small[1] < large[0] * large[1]
            print('%s %s: %d x %d, %d x %d dots' % ('ok  ' if ok else 'FAIL', name, *small, *large))
            failures += not ok
        # Wider than the print area: not printed, and the listing says why.
        # Code 128 of 20 letters in set B: start, 20 characters and the check
        # character of 11 modules each and the 13-module stop, 255 modules.
        code128 = bytes([GS, ord('k'), 73, 22]) + b'{BABCDEFGHIJKLMNOPQRST'
        for name, stream, fmt, width in [
                ('code 128 at module 2 (510 dots)', bytes([GS, ord('w'), 2]) + code128, F.Code128, None),
                ('code 128 at module 3 (765 dots)', bytes([GS, ord('w'), 3]) + code128, F.Code128, 765),
                ('code 128 at module 2 in a 500-dot area', bytes([GS, ord('W'), 0xF4, 1, GS, ord('w'), 2]) + code128,
                 F.Code128, 510),
                ('datamatrix 44 x 44 at module 16 (704 dots)', k(54, 66, 48, 44, 0) + k(54, 67, 16) +
                 store_and_print(54, text), F.DataMatrix, 704)]:
            path = os.path.join(directory, 'wide.bin')
            with open(path, 'wb') as out:
                out.write(b'\n' + stream + b'\n')
            listing = subprocess.run([renderer, '--listing', '--out', os.path.join(directory, 'wide'), path],
                                     check=True, capture_output=True, text=True).stdout
            image = Image.open(os.path.join(directory, 'wide-1.png'))
            area = 500 if 'area' in name else 576
            note = 'not printed: %d dots wide, wider than the %d-dot print area' % (width or 0, area)
            if width:
                ok = black_box(image) == (0, 0) and listing.count(note) == 1
            else:
                ok = [r.text for r in zxingcpp.read_barcodes(image, formats=fmt)] == ['ABCDEFGHIJKLMNOPQRST'] and \
                    'not printed' not in listing
            print('%s %s' % ('ok  ' if ok else 'FAIL', name))
            failures += not ok
        # Settings out of range print nothing: module width 9, DataMatrix 11 x 11 (no such size).
        for name, stream in [('pdf417 module width 9', k(48, 67, 9) + store_and_print(48, text)),
                             ('datamatrix size 11', k(54, 66, 48, 11, 0) + store_and_print(54, text))]:
            image = render(renderer, stream, directory, 'bad')
            ok = black_box(image) == (0, 0)
            print('%s %s: nothing printed' % ('ok  ' if ok else 'FAIL', name))
            failures += not ok
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
