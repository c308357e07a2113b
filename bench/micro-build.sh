# Sourced by bench/micro.sh and bench/plot.sh: configures the Release
# benchmark project in BUILD_DIR/micro-bench once and builds the target
# named by the first argument; sets dir to that folder.
build=${build:-build}
dir=$build/micro-bench
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S bench/micro -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$dir" --target "$1" >/dev/null
