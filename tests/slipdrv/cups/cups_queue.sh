#!/usr/bin/env bash
# A CUPS scheduler of the tests' own: its configuration, spool, logs and
# socket all sit in one folder, so a CUPS the developer runs is left alone
# (clients reach this one through CUPS_SERVER, the folder's socket).
#
#   cups_queue.sh start DIR               starts cupsd, waits until it serves
#   cups_queue.sh add DIR NAME PORT       a raw queue printing to 127.0.0.1:PORT
#   cups_queue.sh stop DIR                cancels every job, removes the queues, ends cupsd
#   cups_queue.sh available               exit 0 when cupsd, lpadmin and the socket backend are here
#
# Run as root, cupsd runs its backends as lp: DIR's parent folders must let
# lp through. Sourced, it defines the same as functions (cups_start, cups_add_queue,
# cups_stop, cups_available). Every command sets CUPS_SERVER for itself.
set -euo pipefail

cups_available() {
  [ -x /usr/sbin/cupsd ] && command -v lpadmin >/dev/null && command -v lpstat >/dev/null &&
    [ -x /usr/lib/cups/backend/socket ]
}

cups_socket() { echo "$1/cups.sock"; }

cups_start() {
  local dir=$1
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  cups_stop "$dir" 2>/dev/null || true
  mkdir -p "$dir/spool/tmp" "$dir/cache" "$dir/state" "$dir/log" "$dir/ppd"
  # cupsd refuses folders others may write to, and runs backends as lp.
  chmod 0755 "$dir" "$dir/spool" "$dir/cache" "$dir/state" "$dir/log"
  chmod 1777 "$dir/spool/tmp"
  local user='' group=''
  if [ "$(id -u)" -eq 0 ]; then
    user="User lp"
    group="Group lp"
  fi
  cat >"$dir/cups-files.conf" <<CONF
ServerRoot $dir
RequestRoot $dir/spool
TempDir $dir/spool/tmp
CacheDir $dir/cache
StateDir $dir/state
ErrorLog $dir/log/error_log
AccessLog $dir/log/access_log
PageLog $dir/log/page_log
SystemGroup $(id -gn) root lpadmin
$user
$group
FileDevice No
Printcap $dir/printcap
CONF
  cat >"$dir/cupsd.conf" <<CONF
Listen $(cups_socket "$dir")
Browsing Off
LogLevel info
DefaultAuthType None
WebInterface No
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
  /usr/sbin/cupsd -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" >"$dir/log/cupsd.out" 2>&1 &
  echo $! >"$dir/cupsd.pid"
  local i
  for i in $(seq 100); do
    if CUPS_SERVER=$(cups_socket "$dir") lpstat -r 2>/dev/null | grep -q 'is running'; then return 0; fi
    kill -0 "$(cat "$dir/cupsd.pid")" 2>/dev/null || break
    sleep 0.1
  done
  echo "cupsd did not start; its log:" >&2
  cat "$dir/log/cupsd.out" "$dir/log/error_log" >&2 2>/dev/null || true
  return 1
}

cups_add_queue() {
  local dir=$1 name=$2 port=$3
  export CUPS_SERVER
  CUPS_SERVER=$(cups_socket "$dir")
  # Raw queues are deprecated but still carry bytes unchanged; the warning says so.
  lpadmin -p "$name" -E -v "socket://127.0.0.1:$port/?waiteof=false" -m raw 2>/dev/null
  cupsenable "$name"
  cupsaccept "$name"
}

cups_stop() {
  local dir=$1
  [ -f "$dir/cupsd.pid" ] || return 0
  local pid
  pid=$(cat "$dir/cupsd.pid")
  if kill -0 "$pid" 2>/dev/null; then
    export CUPS_SERVER
    CUPS_SERVER=$(cups_socket "$dir")
    # Pending jobs would be sent again by the next cupsd started on this folder.
    local queue
    for queue in $(lpstat -e 2>/dev/null); do
      cancel -a -x "$queue" 2>/dev/null || true
      lpadmin -x "$queue" 2>/dev/null || true
    done
    kill "$pid" 2>/dev/null || true
    local i
    for i in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$dir/cupsd.pid"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  case "${1:-}" in
    start) cups_start "$2" ;;
    add) cups_add_queue "$2" "$3" "$4" ;;
    stop) cups_stop "$2" ;;
    available) cups_available ;;
    *)
      echo "usage: $0 start DIR | add DIR NAME PORT | stop DIR | available" >&2
      exit 2
      ;;
  esac
fi
