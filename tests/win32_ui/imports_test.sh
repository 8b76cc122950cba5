#!/usr/bin/env bash
# The program file loads on 64-bit Windows 7: it imports only from DLLs that Windows 7 has, and
# none of the functions that came later (those it uses where present are looked up at run time).
#   imports_test.sh OBJDUMP PROGRAM.exe
set -uo pipefail
objdump=$1
program=$2
imports=$("$objdump" -p "$program") || { echo "FAIL: $objdump cannot read $program" >&2; exit 1; }
failures=0

windows7_dlls='^(advapi32|bcrypt|comctl32|comdlg32|crypt32|gdi32|iphlpapi|kernel32|msvcrt|mswsock|ole32|oleacc|oleaut32|secur32|shell32|shlwapi|user32|userenv|version|winmm|ws2_32)\.dll$'
while read -r dll; do
    if ! grep -qiE "$windows7_dlls" <<<"$dll"; then
        echo "FAIL: imports from $dll" >&2
        failures=$((failures + 1))
    fi
done < <(sed -n 's/^\tDLL Name: //p' <<<"$imports")

# Windows 8 and later: the per-monitor DPI family of Windows 10 and 8.1, and the kernel's newer
# time, file and thread functions.
later='^(AdjustWindowRectExForDpi|AreDpiAwarenessContextsEqual|EnableNonClientDpiScaling|GetAwarenessFromDpiAwarenessContext|GetDpiForSystem|GetDpiForWindow|GetSystemDpiForProcess|GetSystemMetricsForDpi|GetThreadDpiAwarenessContext|GetWindowDpiAwarenessContext|SetProcessDpiAwarenessContext|SetThreadDpiAwarenessContext|SystemParametersInfoForDpi|GetDpiForMonitor|SetProcessDpiAwareness|GetSystemTimePreciseAsFileTime|CreateFile2|GetCurrentThreadStackLimits|SetThreadDescription|GetThreadDescription|PrefetchVirtualMemory|GetOverlappedResultEx|WaitOnAddress|WakeByAddressSingle|WakeByAddressAll)$'
while read -r function; do
    echo "FAIL: imports $function, which Windows 7 has not" >&2
    failures=$((failures + 1))
done < <(awk '/^\t[0-9a-f]+\t +[0-9]+  /{print $3}' <<<"$imports" | grep -E "$later")

count=$(awk '/^\t[0-9a-f]+\t +[0-9]+  /' <<<"$imports" | wc -l)
[ "$count" -gt 0 ] || { echo "FAIL: no imports read from $program" >&2; failures=$((failures + 1)); }
[ $failures -eq 0 ] && echo "$count imports, all of them in Windows 7"
exit $((failures > 0))
