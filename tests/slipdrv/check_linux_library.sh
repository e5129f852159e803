#!/usr/bin/env bash
# libslipdrv.so exports exactly the names of the .def file, and nothing else of ours.
#   check_linux_library.sh LIBRARY DEF-FILE
set -u
exported=$(nm -D --defined-only "$1" | awk '$2 ~ /^[TDBRW]$/ {print $3}' | sort)
expected=$(awk '/^ +BP[A-Za-z0-9]+ +@[0-9]+/ {print $1}' "$2" | sort)
if [ "$exported" = "$expected" ]; then
  echo "linux library checks: 1 passed, 0 failed ($(wc -l <<<"$expected") exports)"
  exit 0
fi
diff <(echo "$expected") <(echo "$exported")
echo "linux library checks: 0 passed, 1 failed"
exit 1
