# Shared by the benchmark and screenshot scripts (sourced): the native Release
# build of one program in a folder of its own, with what it needs installed, and
# a generated fleet made once and kept.
#
#   source "$(dirname "$0")/bench-lib.sh"
#   qvfleet=$(bench_build "$root/build/bench-fleet" qvfleet/qvfleet)
#   bench_fleet share share --hosts 10000   # in the current folder, unless share.done is there
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
bench_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# bench_build BUILD PROGRAM [PACKAGE...]: installs what a native build needs and the
# packages given, builds PROGRAM (its path below the build folder) in Release in
# BUILD, and prints the program's path.
bench_build() {
  local build=$1 program=$2
  shift 2
  # Chained: errexit does not reach into the command substitution that calls this.
  qv_install cmake make g++ time python3 libssl-dev zlib1g-dev "$@" >&2 &&
    "$bench_root/scripts/sqlite-source.sh" >&2 &&
    cmake -S "$bench_root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_TESTS=OFF >/dev/null &&
    cmake --build "$build" -j2 --target "$(basename "$program")" >/dev/null &&
    echo "$build/$program"
}

# bench_fleet NAME ARG...: scripts/fleet_generate.py ARG... makes the fleet NAME in
# the current folder, unless an earlier run did (NAME.done): generating takes minutes.
bench_fleet() {
  local name=$1
  shift
  if [[ ! -f $name.done ]]; then
    rm -rf "$name"
    python3 "$bench_root/scripts/fleet_generate.py" "$@"
    touch "$name.done"
  fi
}
