#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need.
set -euo pipefail
packages=(
  cmake g++ make pkg-config
  libyaml-dev libfmt-dev python3-dev libgtest-dev googletest libcli11-dev
  python3-pytest python3-jsonschema python3-sqlglot python3-venv python3-setuptools python3-wheel
  postgresql python3-psycopg2
)
# The embedded DuckDB comes from npm; machines without Node.js get Debian's.
command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi
bash "$(dirname "${BASH_SOURCE[0]}")/setup-engines.sh"
