#!/bin/bash
# The download rate limit of the real launcher against nginx on 127.0.0.1: for limits of 5, 20 and
# 50 MB/s (MB = 1,000,000 bytes) a first-launch install of incompressible data published with
# `--algorithm stored` (nothing to decode), sized for SECONDS of transfer at the limit, then an
# unlimited install of the same data for comparison. Reported per limit:
#   - the average rate over the transfer against the limit (goal: within 5 %);
#   - the lowest and highest rate over 2-second windows (goal: within 25 % of the limit);
#   - peak resident memory of the limited install against the unlimited one (goal: not above).
# Rates come from the launcher's /proc/PID/io "rchar" (bytes its read calls returned, socket
# reads included), sampled every 0.5 s: a fresh install reads next to nothing from the disk, so
# the count follows what the launcher takes from its connections. The transfer runs from the first
# sample past 1 MB to the first that reaches 99.9 % of the final count; windows lie inside it.
# Peak memory is the process's ru_maxrss.
#   BUILD_DIR  build tree (default: build/ of this checkout)
#   SECONDS_AT_LIMIT  seconds of transfer per limit (default 24; e.g. 4 for a quick run)
#   LIMITS     the limits in MB/s (default "5 20 50")
#   RATE_TRACE=1 also prints the rate of every 0.5-second sample (MB/s) on standard error
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck source=../nginx.sh
source "$root/bench/nginx.sh"
build=$(cd "${BUILD_DIR:-$root/build}" && pwd)
seconds=${SECONDS_AT_LIMIT:-24}
limits=${LIMITS:-5 20 50}

prepare_peers_and_work_folder python3
if ! cmake --build "$build" --target quenmar-launcher quenmar-pack >"$work/build.log" 2>&1; then
    cat "$work/build.log" >&2
    exit 1
fi
start_nginx "$nginx_binary" "$work" off
url="http://127.0.0.1:$port"

# A user of its own for each install: home, XDG folders, no display, no dialogs.
sandbox() {
    local folder=$1
    rm -rf "$folder"
    mkdir -p "$folder"/{home,data,config,cache,runtime,tmp,program}
    chmod 700 "$folder/runtime"
    cp "$build/bin/quenmar-launcher" "$folder/program/"
}

# Writes the settings of the program in sandbox $1 for main configuration $2 and rate $3 (bytes/s).
write_settings() {
    sed -e "s|^launcherConfiguration=.*|launcherConfiguration=$2|" "$root/launcher/resources/launchersettings.ini" |
        tr -d '\r' >"$1/program/launchersettings.ini"
    printf '\n[OPTIONS]\nmaxDownloadRate=%s\n' "$3" >>"$1/program/launchersettings.ini"
}

# Runs the launcher of sandbox $1 with --first-launch until it exits; prints
# "<peak RSS bytes> <average B/s> <min 2 s B/s> <max 2 s B/s> <transfer seconds>".
run_install() {
    local folder=$1
    HOME=$folder/home XDG_DATA_HOME=$folder/data XDG_CONFIG_HOME=$folder/config XDG_CACHE_HOME=$folder/cache \
        XDG_RUNTIME_DIR=$folder/runtime TMPDIR=$folder/tmp QT_QPA_PLATFORM=offscreen QUENMAR_NONINTERACTIVE=1 \
        python3 - "$folder/program/quenmar-launcher" <<'PY'
import resource, subprocess, sys, time
process = subprocess.Popen([sys.argv[1], "--first-launch"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
samples = []
def rchar():
    try:
        with open(f"/proc/{process.pid}/io") as io:
            for line in io:
                if line.startswith("rchar:"):
                    return int(line.split()[1])
    except OSError:
        return None
start = time.monotonic()
while process.poll() is None:
    value = rchar()
    if value is not None:
        samples.append((time.monotonic(), value))
    time.sleep(0.5 - (time.monotonic() - start) % 0.5)
if process.returncode != 0:
    sys.exit(f"launcher exited with {process.returncode}")
peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss * 1024
final = samples[-1][1]
first = next((i for i, (_, v) in enumerate(samples) if v > samples[0][1] + 1_000_000), 0)
last = next(i for i, (_, v) in enumerate(samples) if v >= final * 0.999)
span = samples[first:last + 1]
if len(span) < 2:  # over within a sample: the whole run counts
    span = [(start, samples[0][1]), (time.monotonic(), final)]
average = (span[-1][1] - span[0][1]) / (span[-1][0] - span[0][0])
windows = [(b[1] - a[1]) / (b[0] - a[0]) for a, b in zip(span, span[4:])]
import os
if os.environ.get("RATE_TRACE"):
    print([round((b[1]-a[1])/(b[0]-a[0])/1e6, 2) for a, b in zip(samples, samples[1:])], file=sys.stderr)
print(peak, round(average), round(min(windows, default=0)), round(max(windows, default=0)),
      round(span[-1][0] - span[0][0], 1))
PY
}

percent() { python3 -c "print(f'{($1 / $2 - 1) * 100:+.1f} %')"; }
mb() { python3 -c "print(f'{$1 / 1e6:.2f}')"; }
mib() { python3 -c "print(f'{$1 / 1048576:.1f}')"; }

for limit in $limits; do
    rate=$((limit * 1000000))
    bytes=$((rate * seconds))
    echo "== limit $limit MB/s: $bytes bytes of random data"
    rm -rf "$work/src" "$work/www/r"
    mkdir -p "$work/src"
    printf '#!/bin/sh\nexit 0\n' >"$work/src/client" && chmod 755 "$work/src/client"
    head -c "$bytes" /dev/urandom >"$work/src/data.bin"
    "$build/bin/quenmar-pack" build "$work/src" "$work/www/r/pkg" --algorithm stored --executable client \
        --main-config "$work/www/r/main.json" --name Rate --install-automatically true >/dev/null
    rm -rf "$work/src"
    for kind in limited unlimited; do
        sandbox "$work/$kind"
        write_settings "$work/$kind" "$url/r/main.json" "$([ "$kind" = limited ] && echo "$rate" || echo 0)"
        read -r peak average low high span < <(run_install "$work/$kind")
        printf -v "${kind}_peak" '%s' "$peak"
        if [ "$kind" = limited ]; then
            echo "   average $(mb "$average") MB/s over $span s ($(percent "$average" "$rate") of the limit; goal within 5 %)"
            echo "   2-second windows: $(mb "$low") .. $(mb "$high") MB/s" \
                "($(percent "$low" "$rate") .. $(percent "$high" "$rate"); goal within 25 %)"
        else
            echo "   unlimited: average $(mb "$average") MB/s over $span s"
        fi
        rm -rf "$work/$kind"
    done
    echo "   peak RSS: limited $(mib "$limited_peak") MiB, unlimited $(mib "$unlimited_peak") MiB (goal: not above)"
    rm -rf "$work/www/r"
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
