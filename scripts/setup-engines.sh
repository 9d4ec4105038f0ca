#!/usr/bin/env bash
# Installs the embedded DuckDB used by the engine tests (engines/node_modules, from the npm
# registry, pinned by engines/package-lock.json) and writes the shop example's data files.
# PostgreSQL comes from Debian (scripts/setup.sh); the tests start their own throwaway server.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
command -v node >/dev/null || { echo "setup-engines: node is required (Node.js 20)" >&2; exit 1; }
if [ ! -f "$repo/engines/node_modules/@duckdb/node-api/package.json" ] \
   || [ "$repo/engines/package-lock.json" -nt "$repo/engines/node_modules/.package-lock.json" ]; then
  (cd "$repo/engines" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
fi
(cd "$repo" && python3 examples/shop/generate_data.py >/dev/null)
