#!/usr/bin/env bash
# make demo: a real installation of the sample product under Wine.
set -euo pipefail
cd "$(dirname "$0")/../.."
export QUAB_WINEPREFIX=$PWD/build/win/wineprefix
tools/wine-prefix.sh "$QUAB_WINEPREFIX"
exec /usr/bin/python3 tests/e2e/demo.py
