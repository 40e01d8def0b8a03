#!/usr/bin/env bash
# Benchmark, not a test: how long after a client's acknowledgement a "qsy" reaches HRD.
# Sends N frequency requests (default 40) one after another and compares the UTC time at
# which each client saw its ACK with the time the HRD simulator logged the "frqa" EXECUTE.
# Prints the minimum, median, 90th percentile and maximum in milliseconds.
#
#   tests/wine/bench_qsy.sh [N]
set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

count=${1:-40}
wine_setup || exit 1
start_hrd && start_bridge && WAIT_TIMEOUT=5 wait_until item_is RcvFreq 14,070.00 || { log "set-up failed"; exit 1; }

to_seconds() { date -u -d "${1%Z}" +%s.%3N; }

deltas=()
for ((i = 0; i < count; i++)); do
  khz=$((7000 + i))
  answer=$(suite_client --stamp execute Corvane DDEServer "003qsy$khz" | tr -d '\r')
  [[ "$answer" == ACK\ * ]] || { log "qsy $khz answered: $answer"; continue; }
  acked=$(to_seconds "${answer#ACK }")
  wait_until hrd_received "frqa ${khz}000" || { log "frqa ${khz}000 never reached HRD"; continue; }
  stamp=$(tr -d '\r' <"$HRD_LOG" | awk -v cmd="frqa ${khz}000" '$3 == "EXECUTE" && substr($0, index($0, "EXECUTE ") + 8) == cmd { print $2; exit }')
  received=$(to_seconds "$stamp")
  deltas+=("$(awk -v a="$acked" -v r="$received" 'BEGIN { printf "%.0f", (r - a) * 1000 }')")
done
printf '%s\n' "${deltas[@]}" | sort -n | awk '
  { v[NR] = $1 }
  END {
    if (NR == 0) { print "no measurements"; exit 1 }
    printf "qsy: HRD received the command %d to %d ms after the client'"'"'s ACK (median %d, 90th percentile %d) over %d requests\n",
      v[1], v[NR], v[int((NR + 1) / 2)], v[int(NR * 0.9 + 0.5)], NR
  }'
