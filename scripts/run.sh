#!/usr/bin/env bash
# Installs what is missing, builds and launches the application.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" --target tersio
exec "${TERSIO_BUILD_DIR:-$root/build}/src/ui/tersio" "$@"
