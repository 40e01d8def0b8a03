#!/usr/bin/env bash
# The arithmetic of ./scripts/bench (tools/bench/bench-numbers.sh) on made-up samples: the
# percentiles, the join of a client's samples with the simulator's stamps (warm-up dropped,
# lost and wrong samples counted apart), the 16-client verdicts of the sweep and the
# bridge's frequency text. Needs no Wine; prints one line per failed check and the count.
set -uo pipefail
cd "$(dirname "$0")/../.."
source tools/bench/bench-numbers.sh
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
failed=0
checks=0
expect() {  # expect WHAT GOT WANT
  checks=$((checks + 1))
  [[ "$2" == "$3" ]] && return 0
  printf 'FAIL: %s: got "%s", want "%s"\n' "$1" "$2" "$3"
  failed=$((failed + 1))
}

# Percentiles by nearest rank, whatever the order of the samples.
seq 1 1000 | shuf >"$WORK/thousand"
expect "percentiles of 1..1000" "$(stats "$WORK/thousand")" "1000 500 900 990"
seq 10 -1 1 >"$WORK/ten"
expect "percentiles of 1..10" "$(stats "$WORK/ten")" "10 5 9 10"
printf '0.5\n12.25\n3\n' >"$WORK/fractions"
expect "fractions sort as numbers" "$(stats "$WORK/fractions")" "3 3 12.25 12.25"
: >"$WORK/none"
expect "no samples" "$(stats "$WORK/none")" "0 0 0 0"

# A change followed through the bridge: 10 MHz ticks, so 10 ticks are a microsecond. The
# first sample is warm-up; then one in time, one that never came, one with another value,
# and one whose change the simulator never stamped.
STAMPS=$WORK/stamps
WARMUP=1
cat >"$STAMPS" <<'STAMPS'
FREQUENCY 10000000
1000 CHANGE HRD_HERTZ 7000010
2000 CHANGE HRD_HERTZ 7000020
2500 CHANGE HRD_HERTZ 7000020
3000 CHANGE HRD_HERTZ 7000030
4000 CHANGE HRD_HERTZ 7000040
4100 EXECUTE frqa 7001000
STAMPS
cat >"$WORK/change.txt" <<'SAMPLES'
FREQUENCY 10000000
7000010 900 950 1500 ACK 7000.01
7000020 1900 1950 2150 ACK 7000.02
7000030 2900 2950 0 ACK -
7000040 3900 3950 4300 ACK 7000.03
7000050 4900 4950 5300 ACK 7000.05
SAMPLES
follow_join change "$WORK/change.txt" "$WORK/change.us" khz
expect "a change's latency from its first stamp" "$(cat "$WORK/change.us")" "15.0"
expect "lost and wrong changes" "$(cat "$WORK/change.us.lost")" "4 2 1"

cat >"$WORK/qsy.txt" <<'SAMPLES'
FREQUENCY 10000000
7000 3000 3100 3200 ACK 7000.00
7001 4000 4200 4300 ACK 7001.00
7002 5000 5200 5300 ACK 7002.00
SAMPLES
follow_join execute "$WORK/qsy.txt" "$WORK/qsy.us"
expect "a qsy's latency until frqa in hertz" "$(cat "$WORK/qsy.us")" "10.0"
expect "a qsy whose frqa never came" "$(cat "$WORK/qsy.us.lost")" "2 1 0"

# The sweep's verdicts come from the 16-client run through the bridge: what its clients
# had, not what HRD set, and its lag only once every client had the final value.
cat >"$WORK/sweep" <<'SWEEP'
straight from the simulator 16 415 0 -1.0 0
through the bridge 4 7135 0 -1.0 0
through the bridge 16 3500 0 -1.0 0
SWEEP
read -r rate lag ok < <(sweep_verdicts "$WORK/sweep")
expect "16 clients: rate the clients had" "$rate" "0"
expect "16 clients: the rate is no pass" "$(verdict holds "$rate" ">=" 2000)" "NOT met"
expect "16 clients: a lag without every client there is no pass" "$(verdict lag_within "$ok" "$lag" 100)" "NOT met"
echo "through the bridge 16 6000 2500 30.8 1" >"$WORK/sweep-ok"
read -r rate lag ok < <(sweep_verdicts "$WORK/sweep-ok")
expect "16 clients all there: rate" "$(verdict holds "$rate" ">=" 2000)" "met"
expect "16 clients all there: lag" "$(verdict lag_within "$ok" "$lag" 100)" "met"
expect "a lag past the limit" "$(verdict lag_within 1 130.5 100)" "NOT met"

expect "ratio" "$(ratio 1345 216)" "6.2"
expect "ratio to nothing" "$(ratio 1345 0)" "-"
expect "frequency text" "$(khz_text 14070000)" "14,070.00"
expect "frequency text cut, not rounded" "$(khz_text 10368123456)" "10,368,123.45"
expect "frequency text below a megahertz" "$(khz_text 475990)" "475.99"

echo "$((checks - failed)) passed, $failed failed"
((failed == 0))
