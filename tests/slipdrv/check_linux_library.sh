#!/usr/bin/env bash
# libslipdrv.so exports exactly the names of the export list, and nothing else of ours.
#   check_linux_library.sh LIBRARY EXPORT-LIST   (slipdrv.exports, made from slipdrv/exports.txt)
set -u
exported=$(nm -D --defined-only "$1" | awk '$2 ~ /^[TDBRW]$/ {print $3}' | sort)
expected=$(awk '!/^#/ && NF {print $2}' "$2" | sort)
if [ -n "$expected" ] && [ "$exported" = "$expected" ]; then
  echo "linux library checks: 1 passed, 0 failed ($(wc -l <<<"$expected") exports)"
  exit 0
fi
diff <(echo "$expected") <(echo "$exported")
echo "linux library checks: 0 passed, 1 failed"
exit 1
