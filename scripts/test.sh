#!/usr/bin/env bash
# Builds korvel and runs every test: C++ and Python in a Release build, both
# again under AddressSanitizer and UndefinedBehaviorSanitizer, then an import of
# the module under every CPython 3.9 or later found on this machine.
# Prints a summary and exits non-zero when any step fails.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
jobs=${KORVEL_JOBS:-2}
python=/usr/bin/python3
log_dir=$(mktemp -d)
trap 'rm -rf "$log_dir"' EXIT

passed=()
failed=()
summary=()

# run NAME COMMAND...: runs one step, keeps its output in a log and its outcome.
run() {
  local name=$1
  shift
  echo "==> $name"
  "$@" 2>&1 | tee "$log_dir/$name.log"
  local rc=${PIPESTATUS[0]}
  if [ "$rc" -eq 0 ]; then passed+=("$name"); else failed+=("$name (exit $rc)"); fi
  return "$rc"
}

build() {  # build DIR [cmake options...]
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null && cmake --build "$dir" -j"$jobs"
}

ctest_in() { (cd "$1" && ctest --output-on-failure -j"$jobs"); }

pytest_in() {  # pytest_in DIR [extra environment...]
  local dir=$1
  shift
  # Exit 5 means pytest collected nothing: no test ran, which is a failure too.
  env PYTHONPATH="$root/$dir" KORVEL_BUILD="$root/$dir" "$@" "$python" -m pytest -q tests
}

# The sanitizer runtime is preloaded into the interpreter that loads the module
# and taken out of the environment before any child starts (node, PostgreSQL,
# compilers); tests that start Python on the module put it back from
# KORVEL_SANITIZER_PRELOAD. The wheel install test builds its own Release module
# and runs in the Release pass only.
pytest_sanitized() {  # pytest_sanitized DIR [extra environment...]
  local dir=$1
  shift
  env PYTHONPATH="$root/$dir" KORVEL_BUILD="$root/$dir" "$@" "$python" -c '
import os, sys
import pytest
os.environ.pop("LD_PRELOAD", None)
sys.exit(pytest.main(["-q", "tests", "--deselect", "tests/python/test_install.py"]))'
}

# One build folder: C++ tests, then the Python tests against its module.
suite() {  # suite LABEL DIR [extra environment...] -- [cmake options...]
  local label=$1 dir=$2
  shift 2
  local env_args=() cmake_args=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do env_args+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  cmake_args=("$@")
  local runner=pytest_in
  [ ${#cmake_args[@]} -gt 0 ] && runner=pytest_sanitized
  if run "$label-build" build "$dir" "${cmake_args[@]}"; then
    run "$label-ctest" ctest_in "$dir"
    summary+=("$label ctest: $(grep -E 'tests passed|tests failed' "$log_dir/$label-ctest.log" | tail -1)")
    run "$label-pytest" "$runner" "$dir" "${env_args[@]}"
    summary+=("$label pytest: $(grep -E '^[0-9]+ (passed|failed|error)|no tests ran|(passed|failed|error).* in [0-9.]+s' "$log_dir/$label-pytest.log" | tail -1)")
  else
    failed+=("$label-ctest (not run)" "$label-pytest (not run)")
  fi
}

suite release build --

sanitizer_runtime="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libubsan.so)"
suite sanitize build-asan \
  LD_PRELOAD="$sanitizer_runtime" KORVEL_SANITIZER_PRELOAD="$sanitizer_runtime" \
  ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  PYTHONMALLOC=malloc \
  -- -DKORVEL_SANITIZE=ON

# The stable-ABI module must import under every interpreter it promises to serve.
import_check() {
  local expected='["validate", "lint", "compile_bundle", "generate_sql", "model_json_schema", "context_markdown"]'
  local seen="" py real version count=0 bad=0
  for py in "$HOME"/.pyenv/versions/3.*/bin/python3 /usr/bin/python3 /usr/bin/python3.[0-9]*; do
    [ -x "$py" ] || continue
    case "$py" in *-config) continue ;; esac
    real=$(readlink -f "$py")
    case " $seen " in *" $real "*) continue ;; esac
    seen="$seen $real"
    version=$("$py" -c 'import sys; print("%d.%d" % sys.version_info[:2]) if sys.version_info >= (3, 9) else None' 2>/dev/null) || continue
    [ "$version" = "None" ] || [ -z "$version" ] && continue
    count=$((count + 1))
    if PYTHONPATH="$root/build" "$py" -c "import korvel, sys; assert korvel.__all__ == $expected, korvel.__all__" ; then
      echo "import ok: Python $version ($py)"
    else
      echo "import FAILED: Python $version ($py)"
      bad=$((bad + 1))
    fi
  done
  echo "imported under $((count - bad)) of $count interpreters"
  [ "$count" -gt 0 ] && [ "$bad" -eq 0 ]
}
if [ -f build/korvel.abi3.so ]; then
  run imports import_check
  summary+=("imports: $(tail -1 "$log_dir/imports.log")")
else
  failed+=("imports (no module built)")
fi

echo
echo "==== korvel test summary ===="
for line in "${summary[@]}"; do echo "$line"; done
if [ ${#failed[@]} -eq 0 ]; then
  echo "TEST SUMMARY: all ${#passed[@]} steps passed"
  exit 0
fi
echo "TEST SUMMARY: ${#failed[@]} failed, ${#passed[@]} passed; failed: ${failed[*]}"
exit 1
