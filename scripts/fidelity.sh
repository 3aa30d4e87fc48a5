#!/usr/bin/env bash
# The fidelity gallery: draws each pattern of scripts/fidelity_patterns.py
# with the engine (the epubreader command of BUILD) and with headless
# Chromium, writes the pairs side by side into docs/fidelity/ with index.md
# (the rule for "agree" is in scripts/fidelity.py and the gallery) and
# agreement.txt, prints "N of M patterns agree", and fails when N is below
# docs/fidelity/floor.txt.
#
# Usage: bash scripts/fidelity.sh [BUILD]   (default build/default)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
cli=$build/tools/epubreader
if [ ! -x "$cli" ]; then
  echo "fidelity: $cli not found; build the epubreader target first" >&2
  exit 1
fi
# Debian's python3 holds selenium and PIL (python3-selenium, python3-pil).
exec /usr/bin/python3 scripts/fidelity.py "$cli" "$build/fidelity" docs/fidelity
