#!/usr/bin/env bash
# One entry point for everything: set-up, build, tests, demo.
#   ./dev.sh test    install what is missing, build, run every test
#   ./dev.sh demo    install what is missing, build, run the demo under Wine
#   ./dev.sh native  the quick loop: build the portable code and run its tests
#   ./dev.sh build   build only (native, sanitizer, win32)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")" && pwd)"
cd "$ROOT"
JOBS="${JOBS:-$(nproc)}"
export WINEDEBUG=-all
export UND_WINEPREFIX="$ROOT/build/win32/wineprefix"
export LANG_WINE="pt_BR.UTF-8"

log() { printf '== %s\n' "$*"; }

# Everything the build, the tests and the demo invoke, each checked by the
# tool or file that is used and installed from the package that carries it.
# Packages come without their recommendations (--no-install-recommends), so
# nothing may arrive only as somebody's recommendation: a minimal Debian 12
# has no make, no C compiler and no Wine fonts until they are named here.
install_deps() {
  local need=()
  want_cmd() { command -v "$1" >/dev/null || need+=("${@:2}"); }
  want_file() { [ -e "$1" ] || need+=("${@:2}"); }
  # Build: CMake with the Ninja generator, the host compilers, the Windows
  # cross compilers with the posix thread model, the resource compiler.
  want_cmd cmake cmake
  want_cmd ninja ninja-build
  want_cmd gcc gcc
  want_cmd g++ g++
  want_cmd i686-w64-mingw32-gcc-posix gcc-mingw-w64-i686-posix
  want_cmd i686-w64-mingw32-g++-posix g++-mingw-w64-i686-posix
  want_cmd i686-w64-mingw32-windres binutils-mingw-w64-i686
  want_cmd i686-w64-mingw32-objdump binutils-mingw-w64-i686
  want_file /usr/i686-w64-mingw32/include/windows.h mingw-w64-i686-dev
  want_file /usr/include/nlohmann/json.hpp nlohmann-json3-dev
  # Tests: GoogleTest natively and from source for the cross build; clang
  # with libFuzzer for the fuzz targets.
  want_file /usr/include/gtest/gtest.h libgtest-dev
  want_file /usr/src/googletest/CMakeLists.txt googletest
  want_cmd clang clang
  want_cmd clang++ clang
  want_file /usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a libclang-rt-14-dev
  # Wine with its 64-bit and 32-bit loaders and its own fonts (the windows
  # ask for "MS Sans Serif"), on a virtual X display.
  want_cmd wine wine
  want_cmd wineboot wine
  want_cmd wineserver wine
  want_file /usr/lib/wine/wine64 wine64
  want_file /usr/lib/wine/wine wine32
  want_file /usr/share/wine/fonts/sserife.fon fonts-wine
  want_cmd Xvfb xvfb
  # Demo: screenshots, the Brazilian locale the program runs in, and jq for
  # the verdict, which reads the log's files from `undtool dump`.
  want_cmd import imagemagick
  want_cmd jq jq
  want_cmd locale-gen locales
  if [ ${#need[@]} -gt 0 ]; then
    mapfile -t need < <(printf '%s\n' "${need[@]}" | sort -u)
    log "installing: ${need[*]}"
    if [[ " ${need[*]} " == *" wine32 "* ]]; then dpkg --add-architecture i386; fi
    # A mirror in the middle of a sync fails an index now and then: tried
    # again, and at worst the lists already there serve the install, which
    # fails loudly when a package is missing.
    local tries
    for tries in 1 2 3; do
      apt-get update -qq && break
      log "apt-get update failed (try $tries of 3)"
      sleep 10
    done
    if ! DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null; then
      # A security index of one architecture missing leaves its packages
      # behind the other's (wine32's libraries cannot match the installed
      # 64-bit ones): once more, from the suites whose indexes all came.
      log "apt-get install failed; trying once more without the security suite"
      local only
      only=$(mktemp -d)
      touch "$only/sources.list"
      if [ -e /etc/apt/sources.list ]; then grep -v -- '-security' /etc/apt/sources.list >"$only/sources.list" || true; fi
      for f in /etc/apt/sources.list.d/*.sources; do
        if [ -e "$f" ]; then awk -v RS= -v ORS='\n\n' '!/Suites:[^\n]*-security/' "$f" >"$only/$(basename "$f")"; fi
      done
      local apt_only=(-o Dir::Etc::SourceList="$only/sources.list" -o Dir::Etc::SourceParts="$only")
      apt-get "${apt_only[@]}" update -qq || true
      DEBIAN_FRONTEND=noninteractive apt-get "${apt_only[@]}" install -y -qq --no-install-recommends "${need[@]}" >/dev/null
      rm -rf "$only"
      apt-get update -qq || true
    fi
  fi
  # pt_BR.UTF-8 is the locale the program runs in; ja_JP.UTF-8 gives Wine
  # the double-byte code page 932 for the path tests that need it.
  local wanted generate=0
  for wanted in pt_BR ja_JP; do
    if ! locale -a 2>/dev/null | grep -qi "^$wanted.utf8$"; then
      log "generating $wanted.UTF-8"
      sed -i "s/^# *$wanted.UTF-8 UTF-8/$wanted.UTF-8 UTF-8/" /etc/locale.gen
      grep -q "^$wanted.UTF-8 UTF-8" /etc/locale.gen || echo "$wanted.UTF-8 UTF-8" >>/etc/locale.gen
      generate=1
    fi
  done
  if [ "$generate" = 1 ]; then locale-gen >/dev/null; fi
}

# One generator everywhere: Ninja. A tree configured with another one
# earlier is configured afresh (its Wine prefix stays).
configure() {
  local dir=$1
  shift
  if [ -f "$dir/CMakeCache.txt" ] && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$dir/CMakeCache.txt"; then
    rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
  fi
  cmake -G Ninja -S . -B "$dir" "$@" >/dev/null
}

build_native() {
  log "native build"
  configure build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build/native -j "$JOBS"
}

build_asan() {
  log "sanitizer build"
  configure build/asan -DCMAKE_BUILD_TYPE=Debug -DUND_SANITIZE=ON
  cmake --build build/asan -j "$JOBS"
}

build_fuzz() {
  log "fuzzer build"
  CXX=clang++ CC=clang configure build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DUND_FUZZ=ON
  cmake --build build/fuzz -j "$JOBS" --target fuzz_readlog fuzz_removal
}

build_win32() {
  log "win32 build"
  configure build/win32 -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=MinSizeRel
  cmake --build build/win32 -j "$JOBS"
}

# A virtual X display for Wine, unless one was given.
start_display() {
  if [ -n "${DISPLAY:-}" ] && [ "${UND_FORCE_XVFB:-0}" != 1 ]; then return; fi
  local n
  for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
  done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  trap 'stop_wine' EXIT
}

stop_wine() {
  WINEPREFIX="$UND_WINEPREFIX" timeout 20 wineserver -k >/dev/null 2>&1 || true
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
}

# The private Wine prefix: created once, tuned for unattended runs.
init_prefix() {
  export WINEPREFIX="$UND_WINEPREFIX"
  # The program is a 32-bit one: Wine runs it with its 32-bit loader, which
  # a kernel without 32-bit support refuses to start. Said once, plainly,
  # rather than as every test's "Exec format error".
  if ! wine --version >/dev/null 2>&1; then
    log "FAILED: Wine cannot start here ($(wine --version 2>&1 | tail -1)); the kernel runs no 32-bit program (dmesg: $(dmesg 2>/dev/null | grep -m1 -i '32-bit emulation' || echo 'no word'))"
    exit 1
  fi
  if [ ! -f "$WINEPREFIX/.und-ready" ]; then
    log "creating Wine prefix (first use takes a while)"
    mkdir -p "$WINEPREFIX"
    LANG="$LANG_WINE" timeout 300 wineboot -i >/dev/null 2>&1 </dev/null || true
    LANG="$LANG_WINE" timeout 120 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
    LANG="$LANG_WINE" timeout 120 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 </dev/null
    LANG="$LANG_WINE" timeout 120 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 </dev/null
    timeout 60 wineserver -w || true
    touch "$WINEPREFIX/.und-ready"
  fi
  # One wineserver for the whole run. Without -p it ends a few seconds after
  # the last process, and the first process of the next session runs the
  # run-once entries as a start of Windows would (the uninstaller's
  # self-deletion among them).
  timeout 60 wineserver -w >/dev/null 2>&1 || true
  wineserver -p >/dev/null 2>&1 || true
  trap 'stop_wine' EXIT
  LANG="$LANG_WINE" timeout 120 wineboot >/dev/null 2>&1 </dev/null || true
}

run_tests() {
  local failed=0
  log "native tests"
  (cd build/native && ctest --output-on-failure -j "$JOBS") || failed=1
  log "sanitizer tests"
  (cd build/asan && ctest --output-on-failure -j "$JOBS") || failed=1
  # Each target gets UND_FUZZ_SECONDS (40 by default): about 90 s in all.
  # fuzz_readlog starts from the seed logs, fuzz_removal from its own corpus.
  local target seeds
  for target in readlog removal; do
    [ -x "build/fuzz/bin/fuzz_$target" ] || continue
    seeds=""
    [ "$target" = readlog ] && seeds=tests/fuzz/seeds
    log "fuzzing: fuzz_$target (${UND_FUZZ_SECONDS:-40} s)"
    mkdir -p "build/fuzz/corpus-$target"
    # shellcheck disable=SC2086
    (cd build/fuzz && "bin/fuzz_$target" -max_total_time="${UND_FUZZ_SECONDS:-40}" -rss_limit_mb=512 \
      -malloc_limit_mb=256 -timeout=10 -print_final_stats=1 "corpus-$target" ${seeds:+"$ROOT/$seeds"} \
      >"fuzz-$target.log" 2>&1) || { failed=1; tail -40 "build/fuzz/fuzz-$target.log"; }
    grep -E '^(Done|stat::number_of_executed_units)' "build/fuzz/fuzz-$target.log" || true
  done
  log "Windows tests under Wine"
  start_display
  init_prefix
  (cd build/win32 && ctest --output-on-failure) || failed=1
  return $failed
}

# Every benchmark, then one table of the figures against their targets.
run_benches() {
  local out=build/bench
  mkdir -p "$out"
  log "log reading (native)"
  build/native/bin/bench_readlog | tee "$out/readlog.txt"
  log "removal engine against the fakes (native)"
  build/native/bin/bench_engine | tee "$out/engine.txt"
  start_display
  init_prefix
  log "whole run under Wine against a bare deletion loop (${UND_BENCH_FILES:-20000} files, ${UND_BENCH_ROUNDS:-3} rounds), then a retry of a killed run (${UND_BENCH_RETRY_FILES:-100000} files)"
  UND_TIMEOUT=7200 tools/wine-run build/win32/bin/bench_wine_run.exe "${UND_BENCH_FILES:-20000}" "${UND_BENCH_ROUNDS:-3}" |
    tr -d '\r' | tee "$out/wine_run.txt"
  log "summary dialog opening (10,000 and 100,000 lines)"
  tools/wine-run build/win32/bin/bench_summary.exe 5 10000 100000 | tr -d '\r' | tee "$out/summary.txt"

  local exe=build/win32/bin/desinstalador.exe size dlls
  size=$(stat -c %s "$exe")
  dlls=$(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name/ {print $3}' | paste -sd' ')
  local readlog entries engine ratio quiet retry summary summary100k
  readlog=$(sed -n 's/.*median \([0-9.]*\) ms.*/\1/p' "$out/readlog.txt" | head -1)
  entries=$(sed -n 's/^entries per second (median): \([0-9]*\).*/\1/p' "$out/readlog.txt")
  engine=$(awk '/^10 000 files, all removed/ {print $(NF-1)}' "$out/engine.txt")
  ratio=$(sed -n 's/^median of .* run\/bare \([0-9.-]*\),.*/\1/p' "$out/wine_run.txt")
  quiet=$(sed -n 's/^median of .* quiet\/bare \([0-9.-]*\), quiet+log\/bare \([0-9.-]*\).*/\1x (\2x with its report)/p' "$out/wine_run.txt")
  retry=$(sed -n 's/^median of .* retry\/quiet \([0-9.-]*\) at \([0-9]*\) files.*/\1x (\2 files)/p' "$out/wine_run.txt")
  summary=$(sed -n 's/^10000 lines: .*median \([0-9.]*\) ms.*/\1/p' "$out/summary.txt")
  summary100k=$(sed -n 's/^100000 lines: .*median \([0-9.]*\) ms.*/\1/p' "$out/summary.txt")
  echo
  printf '%-52s %-22s %s\n' "measure" "figure" "target"
  printf '%-52s %-22s %s\n' "log reading, 200,000 file entries (median)" "$readlog ms ($entries/s)" "under 100 ms"
  printf '%-52s %-22s %s\n' "engine against the fakes, 10,000 files" "$engine objects/s" "-"
  printf '%-52s %-22s %s\n' "whole run / bare deletion loop, under Wine (median)" "${ratio}x" "within 1.1x"
  printf '%-52s %-22s %s\n' "quiet run / bare deletion loop, under Wine (median)" "$quiet" "within 1.1x"
  printf '%-52s %-22s %s\n' "retry of a run killed half-way / uninterrupted run" "$retry" "within 1.5x"
  printf '%-52s %-22s %s\n' "summary dialog opening, 10,000 lines (median)" "$summary ms" "within 150 ms"
  printf '%-52s %-22s %s\n' "summary dialog opening, 100,000 lines (median)" "$summary100k ms" "within 1.5 s"
  printf '%-52s %-22s %s\n' "size of desinstalador.exe" "$size bytes ($((size / 1024)) KiB)" "under 300 KiB"
  printf '%-52s %s\n' "imported DLLs" "$dlls"
}

cmd="${1:-test}"
case "$cmd" in
  setup) install_deps ;;
  build) install_deps; build_native; build_asan; build_win32 ;;
  native)
    install_deps
    build_native
    (cd build/native && ctest --output-on-failure -j "$JOBS") || { log "SOME TESTS FAILED"; exit 1; }
    log "native tests passed"
    ;;
  test)
    install_deps
    build_native; build_asan; build_win32
    if [ -f tests/fuzz/CMakeLists.txt ]; then build_fuzz; fi
    if run_tests; then log "all tests passed"; else log "SOME TESTS FAILED"; exit 1; fi
    ;;
  demo)
    install_deps
    build_native; build_win32
    start_display
    # Nobody can answer on a display we started ourselves: the demo's robot
    # answers and takes the screenshots (build/demo/*.png).
    if [ -n "${XVFB_PID:-}" ]; then export UND_DEMO_UNATTENDED=1; fi
    init_prefix
    bash "$ROOT/tools/demo.sh"
    ;;
  bench)
    install_deps
    build_native; build_win32
    run_benches
    ;;
  *) echo "usage: $0 [test|demo|native|bench|build|setup]" >&2; exit 2 ;;
esac
