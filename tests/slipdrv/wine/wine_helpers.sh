# Shell functions shared by the Wine test runners (sourced, not run).

# require_helpers FILE... : the native helpers the runner needs exist. A path
# with $LIB in it (the modem-line shim) must exist for both word sizes.
require_helpers() {
  local path expanded missing=()
  for path in "$@"; do
    for expanded in "${path//\$LIB/lib/x86_64-linux-gnu}" "${path//\$LIB/lib/i386-linux-gnu}"; do
      [ -f "$expanded" ] || missing+=("$expanded")
    done
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "the native helpers are missing (${missing[*]}): build the default preset first"
  return 1
}

# map_port PORT [PATH] : points a COM or LPT port at PATH, or removes it. The
# mapping lives in the 64-bit registry view, which the device manager reads
# for 32- and 64-bit programs alike.
map_port() {
  if [ $# -eq 2 ]; then
    /usr/lib/wine/wine64 reg add 'HKLM\Software\Wine\Ports' /v "$1" /d "$2" /f >/dev/null 2>&1 </dev/null
  else
    /usr/lib/wine/wine64 reg delete 'HKLM\Software\Wine\Ports' /v "$1" /f >/dev/null 2>&1 </dev/null
  fi
}

# dos_path PATH : the path as a Windows program sees it (drive Z:).
dos_path() { echo "Z:${1//\//\\}"; }

# wine_start LOG : starts Wine's server with the system's own processes
# (services, device manager, desktop) writing to LOG. Started by a program
# under test instead, they inherit its standard error: output captured from
# that program holds their messages (one of them crashing as the server shuts
# down) and ends only when they exit with the server. The server stays 30 s
# after the last program, so the programs a runner starts one after another
# share it. Where a server runs already, that one is used.
wine_start() {
  /usr/lib/wine/wineserver -p30 >/dev/null 2>&1
  /usr/lib/wine/wine64 rundll32.exe user32.dll,GetDesktopWindow >>"$1" 2>&1 </dev/null
}

# wine_stop : ends the server and every program on it, and waits until it has
# gone; port mappings made before take effect on the next start.
wine_stop() {
  /usr/lib/wine/wineserver -k >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
}
