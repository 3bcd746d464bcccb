#!/usr/bin/env bash
# Sets up, builds and starts Orvelle.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$top/scripts/setup.sh"
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} && -z ${QT_QPA_PLATFORM:-} ]]; then
    echo "orvelle: no display to show the window on (set DISPLAY, or run it under xvfb-run)" >&2
    exit 1
fi
exec "$top/build/app/orvelle"
