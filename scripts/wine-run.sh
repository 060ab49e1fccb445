#!/usr/bin/env bash
# Runs a Windows program under wine, headless, finding the toolchain's and
# Qt's DLLs through WINEPATH (scripts/windows-env.sh); the program's own lie
# beside it. Line ends come back as "\n", so ctest's test discovery reads
# the names as on Linux.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/windows-env.sh"
"$KX_WINE" "$@" | tr -d '\r'
