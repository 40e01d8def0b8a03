# The arithmetic of ./scripts/bench, sourced by it and by tests/tools/bench_numbers_test.sh:
# percentiles, ratios and verdicts, the bridge's frequency text, and the join of a client's
# samples with the HRD simulator's time stamps. Times in the samples files are
# QueryPerformanceCounter ticks; figures come out in microseconds.

# stats FILE: "N MEDIAN P90 P99" of the numbers in FILE, nearest rank.
stats() {
  sort -g "$1" | awk '
    { v[NR] = $1 }
    function rank(p,  i) { i = int(p * NR + 0.999999); if (i < 1) i = 1; return v[i] }
    END { if (NR == 0) { print "0 0 0 0"; exit } print NR, rank(0.5), rank(0.9), rank(0.99) }'
}

# ms MICROSECONDS: milliseconds with three decimals.
ms() { awk -v us="$1" 'BEGIN { printf "%.3f", us / 1000 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.1f", a / b; else print "-" }'; }
# holds A OP B: the comparison as awk sees it, for floating-point figures.
holds() { awk -v a="$1" -v b="$3" "BEGIN { exit !(a $2 b) }"; }
verdict() { if "$@"; then echo met; else echo "NOT met"; fi; }
# lag_within ALL_ON_FINAL LAG_MS LIMIT_MS: the lag counts only when every client got there.
lag_within() { [[ "$1" == 1 ]] && holds "$2" "<=" "$3"; }

# khz_text HZ: the bridge's published text of HRD's HZ: kilohertz grouped with commas, two
# decimals cut (the prefix's region uses "," and ".").
khz_text() {
  local hz=$((10#$1))
  printf '%s.%02d\n' "$(echo $((hz / 1000)) | sed ':a;s/\B[0-9]\{3\}\>/,&/;ta')" $((hz % 1000 / 10))
}

# follow_join KIND SAMPLES OUT: latencies in microseconds of a follow run, warm-up dropped.
#   execute: from the client sending until the simulator had "frqa NUMBER*1000"
#   change:  from the simulator's change of HRD_HERTZ to NUMBER until the client had it,
#            the value as the simulator (hz) or the bridge (khz) shows it
# Prints how many samples were lost or wrong on stderr.
follow_join() {
  local kind=$1 unit=${4:-hz}
  awk -v kind="$kind" -v unit="$unit" -v warmup="$WARMUP" '
    FNR == NR {
      if ($1 == "FREQUENCY") freq = $2
      else if (kind == "execute" && $2 == "EXECUTE" && $3 == "frqa" && !($4 in at)) at[$4] = $1
      else if (kind == "change" && $2 == "CHANGE" && $3 == "HRD_HERTZ" && !($4 in at)) at[$4] = $1
      next
    }
    FNR == 1 || FNR <= warmup + 1 { next }
    {
      n++
      if (kind == "execute") {
        key = $1 * 1000
        if (!(key in at)) { lost++; next }
        printf "%.1f\n", (at[key] - $2) / freq * 1e6 > out
      } else {
        want = unit == "khz" ? sprintf("%.2f", $1 / 1000) : $1
        if ($4 == 0 || !($1 in at)) { lost++; next }
        if ($6 != want) { wrong++; next }
        printf "%.1f\n", ($4 - at[$1]) / freq * 1e6 > out
      }
    }
    END { printf "%d %d %d\n", n, lost + 0, wrong + 0 > lossfile }
  ' out="$3" lossfile="$3.lost" "$STAMPS" "$2"
}

# sweep_verdicts FILE: "RATE LAG ALL_ON_FINAL" of the 16-client run through the bridge, from
# the lines "LABEL... CLIENTS HRD_RATE CLIENT_RATE LAG_MS ALL_ON_FINAL" a sweep writes.
sweep_verdicts() { awk '$1 == "through" && $(NF - 4) == 16 { print $(NF - 2), $(NF - 1), $NF }' "$1"; }
