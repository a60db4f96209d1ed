#!/usr/bin/env bash
# Builds the libFuzzer binary of the BIF reader with clang and runs it on a copy of the seed corpus.
#   fuzz/bif/run_fuzzer.sh [build folder] [libFuzzer options...]    e.g. fuzz/bif/run_fuzzer.sh /tmp/bif-fuzz -runs=1000000
# Needs the Debian packages clang-16 and libclang-rt-16-dev (clang 14 cannot compile libstdc++'s <expected>).
# The reader, the image decoders and the image type are compiled with clang and instrumented; the foundation
# library they link is built with g++ without sanitizers (the same libstdc++, so the same ABI).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
out="${1:-$root/build/bif-fuzz}"
shift || true
clang="${CLANGXX:-clang++-16}"

cmake -S "$root" -B "$out/gcc" -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=Release -DLUMORA_BUILD_TESTS=OFF \
  -DLUMORA_BUILD_EXAMPLES=OFF -DLUMORA_BUILD_FUZZERS=OFF >/dev/null
cmake --build "$out/gcc" --target lumora_foundation lumora_dispatch -j "$(nproc)" >/dev/null

# libstdc++ 12 offers <expected> only when __cpp_concepts reports 202002L; clang 16 implements what it needs
# (conditionally trivial special members) but still reports 201907L.
flags=(-std=c++2b -O1 -g -D__cpp_concepts=202002L -Wno-macro-redefined -Wno-builtin-macro-redefined
       -I"$root/platform" -I"$root/src" -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
# clang rejects the recursive constraint of foundation::Error's converting constructor in its current form;
# until that header checks "not an Error" before ErrorType, compile against a copy that does.
if grep -q 'template <ErrorType E>' "$root/platform/foundation/Error.h"; then
  mkdir -p "$out/overlay/foundation"
  sed -e 's/template <ErrorType E>/template <class E>/' \
      -e 's/requires(!std::same_as<std::decay_t<E>, Error>)/requires(!std::same_as<std::decay_t<E>, Error> \&\& ErrorType<E>)/' \
      "$root/platform/foundation/Error.h" > "$out/overlay/foundation/Error.h"
  flags+=(-iquote "$out/overlay")
fi

mkdir -p "$out/obj"
sources=("$root/fuzz/bif/bif_fuzz.cpp" "$root/src/keymoments/BIF.cpp" "$root/platform/uikit/UIImage.cpp"
         "$root"/platform/imageio/{Bitmap,ImageDecodingError,ImageDecoder,JPEG,PNG}.cpp)
objects=()
for source in "${sources[@]}"; do
  object="$out/obj/$(basename "${source%.cpp}").o"
  "$clang" "${flags[@]}" -c "$source" -o "$object"
  objects+=("$object")
done
"$clang" -fsanitize=fuzzer,address,undefined "${objects[@]}" \
  "$out/gcc/platform/foundation/liblumora_foundation.a" "$out/gcc/platform/dispatch/liblumora_dispatch.a" \
  -lcurl -lplist-2.0 -lturbojpeg -lpng16 -lpthread -o "$out/bif_fuzzer"

mkdir -p "$out/corpus" "$out/artifacts"
cp -n "$root"/fuzz/bif/corpus/* "$out/corpus/"
exec "$out/bif_fuzzer" -print_final_stats=1 -artifact_prefix="$out/artifacts/" "$@" "$out/corpus"
