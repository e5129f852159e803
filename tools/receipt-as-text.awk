# Renders what a receipt printer received: ESC * bit-image bands as text
# art (one character for 4 x 8 dots) and printable text as it stands.
{ for (i = 1; i <= NF; i++) b[n++] = $i }
END {
  i = 0; top = 0; height = 0; width = 0; text = ""
  while (i < n) {
    if (b[i] == 27 && b[i + 1] == 42) {
      m = b[i + 2]; w = b[i + 3] + 256 * b[i + 4]; per = (m == 32 || m == 33) ? 3 : 1
      i += 5
      for (c = 0; c < w; c++)
        for (k = 0; k < per; k++) {
          v = b[i++]
          for (bit = 0; bit < 8; bit++) if (int(v / 2 ^ (7 - bit)) % 2) dot[top + k * 8 + bit, c] = 1
        }
      top += per * 8; if (w > width) width = w; height = top
    } else if (b[i] == 27 && b[i + 1] == 74) { i += 3 }
    else { text = text sprintf("%c", b[i]); i++ }
  }
  for (y = 0; y < height; y += 8) {
    line = ""
    for (x = 0; x < width; x += 4) {
      dark = 0
      for (yy = y; yy < y + 8; yy++) for (xx = x; xx < x + 4; xx++) dark += dot[yy, xx]
      line = line (dark >= 11 ? "#" : dark >= 4 ? "+" : " ")
    }
    sub(/ +$/, "", line); print line
  }
  printf "%s", text
}
