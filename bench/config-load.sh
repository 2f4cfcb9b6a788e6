#!/usr/bin/env bash
# Times how long a host takes to load the library with about 1 MB of configuration text beside it,
# and how much memory that takes, for several shapes of that megabyte:
#   series   config.vextrel and 4095 continuations of ~250 bytes, each a VXF_ALL line and facility
#            lines, all writing to the default trace folder (they merge into one configuration)
#   folders  the same series, each file with a trace folder of its own, client-only (no trace file
#            or console output): the first 16 make configurations, each with its ring and writer;
#            the other 4080 files are ignored, as the library keeps at most 16
#   onefile  one 1 MB config.vextrel of facility lines, one token each
#   tokens   one 1 MB config.vextrel of 1000-character lines: long token lists on facility lines
#            and on VXF_ALL lines, every tracer, mixed priorities
#   alls     the series shape where every file alternates VXF_ALL lines and facility lines for all
#            three tracers
#   empty    no configuration file (the floor: starting the host and loading the library)
# Each shape runs the e2e host (`sleep:0`: load, nothing traced, unload at exit) RUNS times (default
# 5) and prints the median wall time (from the shell's clock, in ms), the median CPU time (user and
# system) and the largest peak resident memory (GNU time, 10 ms and 1 KB resolution), with the wall time as a ratio to the floor of the same run.
#   bench/config-load.sh [RUNS] [SHAPE...]
# Uses a configured build folder: build/linux/ beside the sources, or $VEXTREL_BENCH_BUILD; the
# library and the host are built there first. $VEXTREL_BENCH_LIBRARY names another build of the
# library to load instead (an earlier version, to compare). The files go to a temporary folder under $TMPDIR
# (or /tmp), deleted at the end.
set -euo pipefail

runs=${1:-5}
shift || true
shapes=("$@")
[[ ${#shapes[@]} -gt 0 ]] || shapes=(empty series folders onefile tokens alls)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${VEXTREL_BENCH_BUILD:-$source_dir/build/linux}
[[ -x /usr/bin/time ]] || { echo "needs GNU time (apt-get install time)" >&2; exit 2; }
[[ -f $build_dir/CMakeCache.txt ]] || { echo "configure $build_dir first (cmake --preset linux)" >&2; exit 2; }
cmake --build "$build_dir" -j2 --target vextrel e2e_host >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/vextrel-config-load.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Writes the configuration files of a shape into the folder $1.
generate() {
    python3 - "$1" "$2" "$source_dir/core/builtin_facilities.cpp" <<'EOF'
import os, random, re, sys
folder, shape, table = sys.argv[1], sys.argv[2], sys.argv[3]
names = [n for n in re.findall(r'\{"(VXF_[A-Z0-9_]+)", \d+\}', open(table).read()) if n != "VXF_ALL"]
levels = ["VXP_LOWEST", "VXP_LOW", "VXP_NORMAL", "VXP_HIGH", "VXP_URGENT"]
rng = random.Random(7)
def token(outputs="FCS"):
    return rng.choice(outputs) + "@" + rng.choice(levels)
def series(body):
    for n in range(4096):
        name = "config.vextrel" + (str(n) if n else "")
        with open(os.path.join(folder, name), "w") as f:
            f.write(body(n))
def facility_lines(count, outputs="F"):
    return "".join(f"{rng.choice(names)}={token(outputs)}\n" for _ in range(count))
if shape == "series":
    series(lambda n: f"VXF_ALL={token('F')}\n" + facility_lines(8))
elif shape == "folders":
    traces = os.path.join(folder, "traces")
    series(lambda n: f"filetracingdir={traces}/{n}\nVXF_ALL={token('S')}\n" + facility_lines(5, "S"))
elif shape == "alls":
    def body(n):
        lines = []
        for output in "FCS":
            lines.append(f"VXF_ALL={token(output)}\n")
            lines.append(facility_lines(2, output))
        return "".join(lines)
    series(body)
elif shape in ("onefile", "tokens"):
    with open(os.path.join(folder, "config.vextrel"), "w") as f:
        size = 0
        while size < 1 << 20:
            if shape == "onefile":
                line = facility_lines(1, "FS")
            else:
                key = "VXF_ALL" if rng.random() < 0.2 else rng.choice(names)
                tokens = []
                while len(key) + sum(len(t) + 1 for t in tokens) < 980:
                    tokens.append(token("FS"))
                line = key + "=" + ",".join(tokens) + "\n"
            f.write(line)
            size += len(line)
EOF
}

host=$work/host
mkdir -p "$host"
cp "$build_dir/bin/e2e_host" "$host/"
# The host loads the library by the file name the build gives it (libvextrel.so.1.0.0).
library=$(readlink -f "${VEXTREL_BENCH_LIBRARY:-$build_dir/lib/libvextrel.so}")
cp "$library" "$host/$(basename "$(readlink -f "$build_dir/lib/libvextrel.so")")"
floor=""
printf '%-8s %10s %9s %9s %10s %10s\n' shape config_KB wall_ms cpu_ms peak_MB wall/floor
for shape in "${shapes[@]}"; do
    rm -rf "$host"/config.vextrel* "$host/traces" "$work/state"
    [[ $shape == empty ]] || generate "$host" "$shape"
    bytes=$(find "$host" -maxdepth 1 -name 'config.vextrel*' -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
    walls=() cpus=() peak=0
    for ((run = 0; run < runs; ++run)); do
        rm -rf "$work/state"
        # The default trace folder lies in the temporary folder.
        start=$(date +%s%N)
        (cd "$host" && XDG_STATE_HOME="$work/state" /usr/bin/time -o "$work/time.txt" -f "%U %S %M" ./e2e_host sleep:0 \
            >/dev/null)
        end=$(date +%s%N)
        read -r user sys kb <"$work/time.txt"
        walls+=("$(((end - start) / 1000000))") cpus+=("$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%d", (u + s) * 1000 }')")
        ((kb > peak)) && peak=$kb
    done
    median() { printf '%s\n' "$@" | sort -g | sed -n "$((($# + 1) / 2))p"; }
    wall_ms=$(median "${walls[@]}")
    cpu_ms=$(median "${cpus[@]}")
    [[ $shape == empty ]] && floor=$wall_ms
    ratio=$(awk -v w="$wall_ms" -v f="${floor:-0}" 'BEGIN { if (f > 0) printf "%.1f", w / f; else print "-" }')
    printf '%-8s %10d %9d %9d %10.1f %10s\n' "$shape" $((bytes / 1024)) "$wall_ms" "$cpu_ms" \
        "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')" "$ratio"
done
echo "runs per shape: $runs (median wall time and CPU time, user + system; largest peak); load average $(cut -d' ' -f1-3 /proc/loadavg)"
