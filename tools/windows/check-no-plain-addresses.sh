#!/usr/bin/env bash
# Fails when a program file holds one of the list addresses in plain text, as 8-bit or UTF-16
# strings. Usage: check-no-plain-addresses.sh ADDRESSES_FILE PROGRAM...
set -euo pipefail
addresses=$1
shift
[ $# -gt 0 ] || { echo "no program files to check" >&2; exit 2; }
status=0
for program in "$@"; do
    found=$( { strings -a -n 8 "$program"; strings -a -n 8 -e l "$program"; } |
        grep -F -f <(grep -v '^$' "$addresses") || true)
    if [ -n "$found" ]; then
        echo "$program holds a plain list address: $found" >&2
        status=1
    fi
done
[ $status -eq 0 ] && echo "checked $#: no plain list address in $*"
exit $status
