#!/usr/bin/env bash
# The C examples at work against the simulators, so that none of them rots:
# venue-receipt and status-poller on a virtual printer, table-lights on a
# simulated table controller.
#   run_c_examples.sh EXAMPLES_DIR VIRTUAL_PRINTER TABLE_CONTROLLER LOGO
set -u
bin=$1 printer=$2 peer=$3 logo=$4
run=$(mktemp -d /tmp/kit-examples-XXXXXX)
pids=()
finish() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  rm -rf "$run"
}
trap finish EXIT

failed=0 passed=0
check() {
  if [ "$2" = ok ]; then echo "ok   $1"; passed=$((passed + 1)); else echo "FAIL $1: $2"; failed=$((failed + 1)); fi
}
wait_for() { for _ in $(seq 1 500); do [ -e "$1" ] && return 0; sleep 0.01; done; return 1; }
# A control line for the printer, and time for it to be read.
control() { echo "$1" >"$run/control" && sleep 0.2; }

# A printer that answers from its state and renders what it is sent.
"$printer" --link "$run/COM1" --record "$run/receipt.bin" --paper "$run/receipt" --control "$run/control" \
  --state paper-near-end >"$run/printer.log" 2>&1 &
printer_pid=$!
pids+=("$printer_pid")
wait_for "$run/COM1" || { echo "the virtual printer did not start"; cat "$run/printer.log"; exit 1; }
export SLIPDRV_COM1="$run/COM1"

out=$(cd "$run" && "$bin/status-poller" 1 0 1)
status=$?
check "status-poller, paper near its end: ready, exit 0 ($out)" \
  "$([ $status -eq 0 ] && [[ $out == *"paper near its end; ready"* ]] && echo ok || echo "exit $status")"
control "state paper-out"
out=$(cd "$run" && "$bin/status-poller" 1 0 1)
status=$?
check "status-poller, paper out: not ready, exit 1 ($out)" \
  "$([ $status -eq 1 ] && [[ $out == *"paper out;"*"NOT READY"* ]] && echo ok || echo "exit $status")"

(cd "$run" && "$bin/venue-receipt" 1 "$logo")
check "venue-receipt" "$([ $? -eq 0 ] && echo ok || echo "exit status not 0")"
# The library's last write returns once the line has taken it; the printer may
# still be reading it. Quit only once its record has stopped growing.
previous=-1
for _ in $(seq 1 100); do
  size=$(stat -c %s "$run/receipt.bin" 2>/dev/null || echo 0)
  [ "$size" -eq "$previous" ] && break
  previous=$size
  sleep 0.05
done
control quit
wait "$printer_pid"
# The receipt ends with a cut: one piece of paper whose codes scan.
codes=$(zbarimg -q "$run/receipt-1.png" 2>/dev/null)
check "venue-receipt: the QR code scans" \
  "$([[ $codes == *"QR-Code:https://pay.example/bill/20261208-0007"* ]] && echo ok || echo "read '$codes'")"
check "venue-receipt: the barcode scans" \
  "$([[ $codes == *"CODE-128:No.20261208-0007"* ]] && echo ok || echo "read '$codes'")"

echo reply >"$run/mode"
"$peer" --link "$run/table-controller" --address 1 --state "$run/state" --mode-file "$run/mode" \
  >"$run/peer.log" 2>&1 &
pids+=("$!")
wait_for "$run/table-controller" || { echo "the table controller did not start"; cat "$run/peer.log"; exit 1; }
export KORVEL_COM1="$run/table-controller"
registers() { awk '/^registers / {print $2, $3, $4, $5}' "$run/state"; }

"$bin/table-lights" 1 1010000011110000
status=$?
check "table-lights: exit 0, registers A0F0 0000 0000 0000" \
  "$([ $status -eq 0 ] && [ "$(registers)" = "A0F0 0000 0000 0000" ] && echo ok || echo "exit $status, $(registers)")"
echo other >"$run/mode"
"$bin/table-lights" 1 1
status=$?
check "table-lights, another device answers: exit 1" "$([ $status -eq 1 ] && echo ok || echo "exit $status")"
echo none >"$run/mode"
err=$("$bin/table-lights" 1 1 2>&1)
status=$?
check "table-lights, no answer: exit 2, error 9" \
  "$([ $status -eq 2 ] && [[ $err == *"error 9"* ]] && echo ok || echo "exit $status: $err")"

echo "C examples: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
