#!/usr/bin/env bash
# Installs what is missing, builds when needed, then runs the program with the given switches: real windows when a
# display is there, headless otherwise.
set -euo pipefail
cd "$(dirname "$0")"
source tools/setup.sh
corvana_install_packages
corvana_build
exec build/corvana "$@"
