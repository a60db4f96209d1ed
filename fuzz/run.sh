#!/usr/bin/env bash
# Builds one fuzz target with libFuzzer (the fuzz preset: clang, the whole kit instrumented) and runs it on
# a working copy of its seed corpus, so that what it finds stays out of the source tree:
#   fuzz/run.sh <name> [libFuzzer options...]      e.g. fuzz/run.sh plist -runs=1000000
#   CORPUS=corpus-sizes fuzz/run.sh hls              another seed folder of the target (default: corpus)
# Needs clang-16 and libclang-rt-16-dev (`scripts/install-deps.sh --fuzz`). Crashes are written to
# build/fuzz/runs/<name>/artifacts/; replay one with build/fuzz/fuzz/<name>/<name>_fuzzer <file>.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
if [ $# -lt 1 ] || [ ! -d "$root/fuzz/$1" ]; then
  echo "usage: $0 <target> [libFuzzer options...]; targets: $(cd "$root/fuzz" && ls -d */ | tr -d / | tr '\n' ' ')" >&2
  exit 2
fi
name="$1"
shift
cd "$root"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${name}_fuzzer" -j "${JOBS:-8}" >/dev/null
seeds="${CORPUS:-corpus}"
work="$root/build/fuzz/runs/$name"
mkdir -p "$work/$seeds" "$work/artifacts"
cp -n "$root/fuzz/$name/$seeds/"* "$work/$seeds/" 2>/dev/null || true
exec "$root/build/fuzz/fuzz/$name/${name}_fuzzer" -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$@" \
  "$work/$seeds"
