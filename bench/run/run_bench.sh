#!/usr/bin/env bash
# The scrape run against a loopback site: Linkhauler's real window on 200 pages, the same
# job with wget, then Linkhauler on 1,000 pages for its memory. Builds nothing.
#   bench/run/run_bench.sh [build dir]      (default: build; bench_site and bench_run in <dir>/bin)
# KEEP=1 keeps the downloaded files; LINKS and BYTES change the site's shape; STOP_AFTER=<s>
# presses Stop on the 1,000-page run after that many seconds (its figures then cover the
# pages done; the run's cost grows faster than its length, see README.md).
set -euo pipefail

build=${1:-build}
bin=$(readlink -f "$build")/bin
links=${LINKS:-25}
bytes=${BYTES:-10240}
for tool in bench_site bench_run; do
  [ -x "$bin/$tool" ] || { echo "no $bin/$tool: build the targets bench_site and bench_run first" >&2; exit 2; }
done

missing=()
command -v wget >/dev/null || missing+=(wget)
[ -x /usr/bin/time ] || missing+=(time)
if [ ${#missing[@]} -gt 0 ]; then
  [ "$(id -u)" -eq 0 ] || { echo "missing ${missing[*]}: install them (apt-get install ${missing[*]})" >&2; exit 2; }
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

export QT_QPA_PLATFORM=offscreen
export QT_LOGGING_RULES="qt.webenginecontext.debug=false"
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1

work=$(mktemp -d /tmp/lh-bench.XXXXXX)
site_pid=
cleanup() {
  stop_site
  if [ "${KEEP:-0}" = 1 ]; then echo "files kept in $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

# The site reads its stdin from a FIFO and stops when the FIFO's writer closes.
start_site() { # pages
  rm -f "$work/site.in" "$work/site.out"
  mkfifo "$work/site.in"
  timeout 1800 "$bin/bench_site" "$1" "$links" "$bytes" <"$work/site.in" >"$work/site.out" 2>"$work/site.err" &
  site_pid=$!
  exec 3>"$work/site.in"
  for _ in $(seq 100); do
    url=$(head -n1 "$work/site.out" 2>/dev/null || true)
    [ -n "$url" ] && break
    sleep 0.1
  done
  [ -n "$url" ] || { echo "the site did not start" >&2; exit 1; }
  case $url in http://127.0.0.1:*) ;; *) echo "the site is not on 127.0.0.1: $url" >&2; exit 1 ;; esac
}
stop_site() {
  [ -n "$site_pid" ] || return 0
  exec 3>&-
  wait "$site_pid" 2>/dev/null || true
  site_pid=
}

field() { # file, pattern: the value after the pattern's colon
  grep -m1 "$2" "$1" | sed 's/.*: //'
}
seconds() { # [h:]m:ss.ss -> seconds
  awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }' <<<"$1"
}

linkhauler() { # pages, label, stop after s (0: never)
  local pages=$1 label=$2 stop=$3 rc=0 bound=5400
  [ "$stop" -gt 0 ] && bound=$((stop + 600))
  echo "== Linkhauler, $pages pages x $links links x $bytes bytes"
  /usr/bin/time -v -o "$work/$label.time" \
    timeout "$bound" "$bin/bench_run" "$url" 1 "$pages" "$work/$label" "$links" 5 "$stop" "$bytes" \
    >"$work/$label.out" 2>"$work/$label.err" || rc=$?
  cat "$work/$label.out"
  echo "process wall time     $(seconds "$(field "$work/$label.time" 'Elapsed (wall clock)')") s (start-up and shut-down included)"
  echo "process peak RSS      $(( $(field "$work/$label.time" 'Maximum resident set size') / 1024 )) MB (/usr/bin/time: largest single process)"
  [ "$rc" -eq 0 ] || { echo "bench_run ended with $rc; its stderr:"; tail -n 20 "$work/$label.err"; }
  return 0
}

# --- 200 pages: Linkhauler, then wget --------------------------------------------------
start_site 200
linkhauler 200 lh200 0
lh_wall=$(awk '/^wall time/ { print $3 }' "$work/lh200.out")
lh_process_wall=$(seconds "$(field "$work/lh200.time" 'Elapsed (wall clock)')")

echo "== wget, the same 200 pages and their links"
seq 1 200 | sed "s|^|$url/page/|; s|$|.htm|" >"$work/pages.txt"
mkdir -p "$work/wget"
# One level below the listed pages, only the .bin files kept, never the index page, no
# robots.txt request; -nd keeps the names flat, as Linkhauler's are.
start=$(date +%s.%N)
/usr/bin/time -v -o "$work/wget.time" \
  timeout 900 wget -nv -o "$work/wget.log" -r -l1 -nd -A bin -R 'index.htm' -e robots=off \
    -i "$work/pages.txt" -P "$work/wget" || echo "wget ended with $?"
end=$(date +%s.%N)
wget_wall=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }')
wget_files=$(find "$work/wget" -type f -name '*.bin' | wc -l)
echo "wall time             $wget_wall s"
echo "downloads/s           $(awk -v n="$wget_files" -v t="$wget_wall" 'BEGIN { printf "%.1f", n / t }') ($wget_files files)"
echo "peak memory           $(( $(field "$work/wget.time" 'Maximum resident set size') / 1024 )) MB (/usr/bin/time)"
echo "== Linkhauler / wget wall time"
awk -v l="$lh_wall" -v p="$lh_process_wall" -v w="$wget_wall" 'BEGIN {
  printf "job only              %.2f (%.2f s / %.2f s)\n", l / w, l, w
  printf "whole process         %.2f (%.2f s / %.2f s)\n", p / w, p, w }'
stop_site

# --- 1,000 pages: Linkhauler's memory as the run grows ---------------------------------
rm -rf "$work/lh200" "$work/wget"
start_site 1000
linkhauler 1000 lh1000 "${STOP_AFTER:-0}"
stop_site

echo "== peak memory, 200 vs 1,000 pages"
for label in lh200 lh1000; do
  printf '%-6s self %s | %s\n' "$label" \
    "$(awk '/^peak memory \(self\)/ { print $4, $5 }' "$work/$label.out")" \
    "$(awk '/^peak memory \(tree\)/ { print $4, $5, "RSS,", $8, $9, "PSS" }' "$work/$label.out")"
done
