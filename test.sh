#!/usr/bin/env bash
# Installs what is missing, builds, then runs the whole test suite through ctest. Non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
source tools/setup.sh
corvana_install_packages
corvana_build
cd build
ctest --output-on-failure --timeout 600 -j2 "$@"
