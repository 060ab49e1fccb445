#!/usr/bin/env bash
# Runs a Windows program under wine, headless, finding the project's and the
# toolchain's DLLs through WINEPATH (see scripts/windows-env.sh).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/windows-env.sh"
exec "$KX_WINE" "$@"
