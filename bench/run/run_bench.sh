#!/usr/bin/env bash
# The scrape run against a loopback site, and the floors it is measured against, in one
# sitting. Once with no latency, once with a delay on every page and every file answer, and
# once with the longer delays of a distant site: Linkhauler in its real window under Xvfb
# (pages of the series loading ahead while it handles one), the browser engine alone on the
# same pages, curl on the same files one after another and six at once, and Linkhauler
# offscreen. Then Linkhauler's window on 1,000 pages, for its memory as the run grows.
# Builds nothing.
#   bench/run/run_bench.sh [build dir]   (default: build; bench_site, bench_run, bench_engine in <dir>/bin)
# PAGES (200) and BIG_PAGES (1000, 0 skips that run) set the runs' lengths; LINKS (25) and
# BYTES (10240) the site's shape; PAGE_DELAY_MS (100) and FILE_DELAY_MS (20) the delays of
# the second pass; SLOW_PAGES (100, 0 skips the pass), SLOW_PAGE_DELAY_MS (500) and
# SLOW_FILE_DELAY_MS (50) those of the third, which runs curl six at once only (one after
# another would take minutes). OFFSCREEN_AT_LATENCY=1 also runs Linkhauler offscreen with the
# delays.
# SHOT=<png> saves a picture of the screen SHOT_AFTER seconds (3) into the first window run.
# STOP_AFTER=<s> presses Stop on the long run after that many seconds; KEEP=1 keeps the files.
# WORK_IN (/tmp) is where the runs write; /dev/shm keeps a slowing disk out of the figures.
set -euo pipefail

build=${1:-build}
bin=$(readlink -f "$build")/bin
pages=${PAGES:-200}
big_pages=${BIG_PAGES:-1000}
links=${LINKS:-25}
bytes=${BYTES:-10240}
page_delay=${PAGE_DELAY_MS:-100}
file_delay=${FILE_DELAY_MS:-20}
slow_pages=${SLOW_PAGES:-100}
slow_page_delay=${SLOW_PAGE_DELAY_MS:-500}
slow_file_delay=${SLOW_FILE_DELAY_MS:-50}
for tool in bench_site bench_run bench_engine; do
  [ -x "$bin/$tool" ] || { echo "no $bin/$tool: build the targets bench_site, bench_run and bench_engine first" >&2; exit 2; }
done

missing=()
command -v curl >/dev/null || missing+=(curl)
command -v xvfb-run >/dev/null || missing+=(xvfb)
command -v xauth >/dev/null || missing+=(xauth)
[ -x /usr/bin/time ] || missing+=(time)
if [ ${#missing[@]} -gt 0 ]; then
  [ "$(id -u)" -eq 0 ] || { echo "missing ${missing[*]}: install them (apt-get install ${missing[*]})" >&2; exit 2; }
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

export QT_LOGGING_RULES="qt.webenginecontext.debug=false"
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
# Each windowed program gets an X server of its own, always of this screen.
on_screen() { xvfb-run -a -s "-screen 0 1280x1024x24" "$@"; }

# Other work on the machine shows in every figure: the load is printed at the start and end.
load() { cut -d' ' -f1-3 /proc/loadavg; }
script_start=$(date +%s.%N)
echo "machine               $(nproc) CPUs, load average $(load) at the start"
work=$(mktemp -d "${WORK_IN:-/tmp}/lh-bench.XXXXXX")
site_pid=
cleanup() {
  stop_site
  if [ "${KEEP:-0}" = 1 ]; then echo "files kept in $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

# The site reads its stdin from a FIFO and stops when the FIFO's writer closes; no client
# gets the writer (3>&-), or a helper process outliving its program would keep the site up.
start_site() { # pages, page delay ms, file delay ms
  rm -f "$work/site.in" "$work/site.out"
  mkfifo "$work/site.in"
  timeout 3600 "$bin/bench_site" --page-delay-ms "$2" --file-delay-ms "$3" "$1" "$links" "$bytes" \
    <"$work/site.in" >"$work/site.out" 2>"$work/site.err" &
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

# What the site has answered so far: "<requests> <connections>".
site_stats() { curl -sS "$url/stats" 3>&- | awk '{ print $2, $4 }'; }
served_since() { # stats taken before
  local now
  now=$(site_stats)
  awk -v a="$1" -v b="$now" 'BEGIN { split(a, x, " "); split(b, y, " ")
    printf "site                  %d requests on %d connections\n", y[1] - x[1], y[2] - x[2] }'
}

field() { # file, pattern: the value after the pattern's colon
  grep -m1 "$2" "$1" | sed 's/.*: //'
}
seconds() { # [h:]m:ss.ss -> seconds
  awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }' <<<"$1"
}
value() { # file, label at the start of a line: the number after it
  awk -v label="$2" 'index($0, label) == 1 { s = substr($0, length(label) + 1); sub(/^ +/, "", s); split(s, w, " "); print w[1]; exit }' "$1"
}
now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'; }

linkhauler() { # mode (window|offscreen), pages, label, stop after s (0: never), bench_run options...
  local mode=$1 n=$2 label=$3 stop=$4 rc=0 bound=5400 before
  shift 4
  [ "$stop" -gt 0 ] && bound=$((stop + 600))
  echo "== Linkhauler ($mode), $n pages x $links links x $bytes bytes"
  before=$(site_stats)
  local run=(/usr/bin/time -v -o "$work/$label.time" timeout "$bound" "$bin/bench_run")
  if [ "$mode" = window ]; then
    on_screen "${run[@]}" --window "$@" "$url" 1 "$n" "$work/$label" "$links" 5 "$stop" "$bytes" \
      >"$work/$label.out" 2>"$work/$label.err" 3>&- || rc=$?
  else
    "${run[@]}" "$@" "$url" 1 "$n" "$work/$label" "$links" 5 "$stop" "$bytes" \
      >"$work/$label.out" 2>"$work/$label.err" 3>&- || rc=$?
  fi
  cat "$work/$label.out"
  served_since "$before"
  echo "process wall time     $(seconds "$(field "$work/$label.time" 'Elapsed (wall clock)')") s (start-up and shut-down included)"
  echo "process peak RSS      $(( $(field "$work/$label.time" 'Maximum resident set size') / 1024 )) MB (/usr/bin/time: largest single process)"
  [ "$rc" -eq 0 ] || { echo "bench_run ended with $rc; its stderr:"; tail -n 20 "$work/$label.err"; }
  [ "${KEEP:-0}" = 1 ] || rm -rf "${work:?}/$label"
  return 0
}

engine() { # label, view size
  local label=$1 rc=0 before
  echo "== browser engine alone, $pages pages in a visible ${2} view"
  before=$(site_stats)
  on_screen timeout 1800 "$bin/bench_engine" "$url" 1 "$pages" --size "$2" \
    >"$work/$label.out" 2>"$work/$label.err" 3>&- || rc=$?
  cat "$work/$label.out"
  served_since "$before"
  [ "$rc" -eq 0 ] || { echo "bench_engine ended with $rc; its stderr:"; tail -n 20 "$work/$label.err"; }
}

# curl on every linked file of the run's pages, in one call, so connections are kept; the
# list goes in a config file, which holds any number of addresses.
curl_floor() { # label, what, curl options...
  local label=$1 start rc=0 before files wrong
  echo "== curl, $2: the $((pages * links)) files"
  shift 2
  mkdir -p "$work/$label"
  awk -v base="$url" -v dir="$work/$label" -v pages="$pages" -v links="$links" 'BEGIN {
    for (n = 1; n <= pages; n++) for (k = 1; k <= links; k++) {
      printf "url = \"%s/page/files/%d_%d.bin\"\noutput = \"%s/%d_%d.bin\"\n", base, n, k, dir, n, k } }' \
    >"$work/$label.cfg"
  before=$(site_stats)
  start=$(now)
  timeout 1800 curl -sS -f "$@" -K "$work/$label.cfg" 2>"$work/$label.err" 3>&- || rc=$?
  echo "wall time             $(elapsed "$start") s" | tee "$work/$label.out"
  files=$(find "$work/$label" -type f | wc -l)
  wrong=$(find "$work/$label" -type f ! -size "${bytes}c" | wc -l)
  echo "files                 $files, $wrong not of $bytes bytes"
  served_since "$before"
  [ "$rc" -eq 0 ] || { echo "curl ended with $rc:"; tail -n 5 "$work/$label.err"; }
  [ "${KEEP:-0}" = 1 ] || rm -rf "${work:?}/$label"
}

ratio() { # text, numerator, denominator...: numerator / sum of the rest
  local text=$1 top=$2
  shift 2
  awk -v text="$text" -v top="$top" -v rest="$*" 'BEGIN { n = split(rest, r, " "); s = 0
    for (i = 1; i <= n; i++) s += r[i]
    if (top == "" || s <= 0) { printf "%-40s n/a\n", text; exit }
    printf "%-40s %.2f (%.2f s / %.2f s)\n", text, top / s, top, s }'
}

# One pass over the site: every figure at one latency.
pass() { # tag, page delay, file delay, with offscreen (0|1), with curl one after another (0|1), bench_run options for the window run...
  local tag=$1 pd=$2 fd=$3 offscreen=$4 one=$5 size
  shift 5
  echo
  echo "######## $pages pages, $pd ms per page answer, $fd ms per file answer"
  start_site "$pages" "$pd" "$fd"
  linkhauler window "$pages" "lh-$tag" 0 "$@"
  size=$(sed -n 's/^platform .*window \([0-9]*x[0-9]*\).*/\1/p' "$work/lh-$tag.out")
  engine "engine-$tag" "${size:-938x590}"
  if [ "$one" = 1 ]; then curl_floor "curl1-$tag" "one connection"; fi
  curl_floor "curl6-$tag" "6 at once" --parallel --parallel-max 6
  if [ "$offscreen" = 1 ]; then linkhauler offscreen "$pages" "lhoff-$tag" 0; fi
  stop_site
}

shot=()
[ -n "${SHOT:-}" ] && shot=(--shot "$(readlink -f "$SHOT")" --shot-after "${SHOT_AFTER:-3}")
pass zero 0 0 1 1 "${shot[@]}"
pass delay "$page_delay" "$file_delay" "${OFFSCREEN_AT_LATENCY:-0}" 1
if [ "$slow_pages" -gt 0 ]; then
  saved_pages=$pages
  pages=$slow_pages
  pass slow "$slow_page_delay" "$slow_file_delay" "${OFFSCREEN_AT_LATENCY:-0}" 0
  pages=$saved_pages
fi

if [ "$big_pages" -gt 0 ]; then
  echo
  echo "######## $big_pages pages, no latency: memory as the run grows"
  saved_pages=$pages
  pages=$big_pages
  start_site "$big_pages" 0 0
  linkhauler window "$big_pages" "lh-big" "${STOP_AFTER:-0}"
  stop_site
  pages=$saved_pages
fi

wall() { value "$work/$1.out" "wall time"; }
cell() { if [ -f "$work/$1.out" ]; then wall "$1"; else echo -; fi; }
echo
echo "######## summary (seconds; the window runs are Linkhauler's real window under Xvfb)"
printf '%-28s %10s %10s %10s\n' "" "0 ms" "$page_delay/$file_delay ms" \
  "$(if [ "$slow_pages" -gt 0 ]; then echo "$slow_page_delay/$slow_file_delay ms"; fi)"
printf '%-28s %10s %10s %10s\n' "pages" "$pages" "$pages" "$(if [ "$slow_pages" -gt 0 ]; then echo "$slow_pages"; fi)"
for row in "Linkhauler, window:lh" "Linkhauler, offscreen:lhoff" "browser engine alone:engine" \
  "curl, one connection:curl1" "curl, 6 at once:curl6"; do
  label=${row#*:}
  printf '%-28s %10s %10s %10s\n' "${row%%:*}" "$(cell "$label-zero")" "$(cell "$label-delay")" \
    "$(if [ "$slow_pages" -gt 0 ]; then cell "$label-slow"; fi)"
done
ratio "no latency: window / (engine + curl 1)" "$(wall lh-zero)" "$(wall engine-zero)" "$(wall curl1-zero)"
echo "                                         target 1.1"
ratio "latency: window / (engine + curl 6)" "$(wall lh-delay)" "$(wall engine-delay)" "$(wall curl6-delay)"
echo "                                         target 0.6"
if [ -f "$work/lh-slow.out" ]; then
  ratio "distant: window / (engine + curl 6)" "$(wall lh-slow)" "$(wall engine-slow)" "$(wall curl6-slow)"
  echo "                                         target 0.45"
fi
ratio "no latency: window / offscreen" "$(wall lh-zero)" "$(wall lhoff-zero)"
if [ -f "$work/lhoff-delay.out" ]; then ratio "latency: window / offscreen" "$(wall lh-delay)" "$(wall lhoff-delay)"; fi
for label in lh-zero lh-delay lh-slow lh-big; do
  if [ -f "$work/$label.out" ]; then
    printf '%-40s %s ms\n' "longest event-loop stall, $label" "$(value "$work/$label.out" "max gap")"
  fi
done
echo "peak memory, window runs:"
for label in lh-zero lh-big; do
  if [ -f "$work/$label.out" ]; then
    printf '  %-8s %5s pages  self %s MB | tree %s\n' "$label" "$(value "$work/$label.out" "pages")" \
      "$(value "$work/$label.out" "peak memory (self)")" \
      "$(awk '/^peak memory \(tree\)/ { print $4, $5, "RSS,", $8, $9, "PSS summed" }' "$work/$label.out")"
  fi
done
for out in "$work"/lh*.out; do
  grep -h '^RESULT\|^STOPPED' "$out" | sed "s|^|  $(basename "$out" .out): |" || true
done
echo "load average          $(load) at the end ($(nproc) CPUs)"
echo "whole script          $(elapsed "$script_start") s"
