#!/usr/bin/env bash
# Loop-count sweep of qemttc and qemtest on a good module, firmware 9 (the
# default crate) and firmware 8.  Every verdict must pass.  A test that needs
# what an earlier one ran no loop to leave (SEQ after 0 RAM loops; BCID, SER
# and CMD after 0 L1ID loops) is not run and says so: no failure.
#
#   bench/sweep_loops.sh [BIN_DIR]      (default build/bin)
#
# Counts: 0 1 2 3 5 0x10 0x2F 0x100.  qemttc: every combination of its four
# tests, and all four at one count with debug level 4 (a dump of every SER
# recording).  qemtest: each test alone, all tests at one count, and every
# pair of tests (the others at their defaults), at debug level 0, and each
# test alone and all at one count at debug level 1 (dumps of the SER and
# BRST recordings).  Prints each failing run with its answers and ERROR
# lines, then the scan errors of passing runs, and ends with status 1 if a
# good module failed.  Bounded: some 14000 runs, each under a time-out.
set -u
cd "$(dirname "$0")/.."
BIN=${1:-build/bin}
COUNTS=(0 1 2 3 5 10 2F 100)
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

sed 's/firmware=9/firmware=8/' examples/crates/default.crate > "$TMP/fw8.crate"
CRATES=("" "$TMP/fw8.crate")

runs=0
falseFails=0
notRun=0

# run PROGRAM CRATE LABEL ANSWERS...: one run, its verdicts checked.
run() {
  local prog=$1 crate=$2 label=$3
  shift 3
  local input
  input=$(printf '%s\n' "$@")
  local out
  if [ -n "$crate" ]; then
    out=$(printf '%s\n' "$input" | VME_SIM_CRATE=$crate timeout 60 "$BIN/$prog" 2>&1)
  else
    out=$(printf '%s\n' "$input" | timeout 60 "$BIN/$prog" 2>&1)
  fi
  local status=$?
  runs=$((runs + 1))
  local fails
  fails=$(grep -o '[A-Za-z0-9]* test: Fail' <<<"$out" | sed 's/ test: Fail//' | tr '\n' ' ')
  if [ -n "$fails" ]; then
    falseFails=$((falseFails + 1))
    echo "$prog $label: fails $fails"
    grep -oE 'ERROR: .*|TIMEOUT.*|wrote .*|read .*, loop .*' <<<"$out" | sort | uniq -c | head -8
    return
  fi
  # 3 (2 when no test ran): a test ran no loop or was not run; 1 without a
  # failed verdict, or any other status, is wrong.
  if [ $status -ne 0 ] && [ $status -ne 3 ] && [ $status -ne 2 ]; then
    falseFails=$((falseFails + 1))
    echo "$prog $label: exit status $status"
    return
  fi
  grep -q ' test: not run: ' <<<"$out" && notRun=$((notRun + 1))
  # Scan errors of a register dump are shown, not counted: gathered apart.
  grep -oE 'ERROR: .*' <<<"$out" | sed "s|^|$prog $label: |" >> "$TMP/shown"
}

for crate in "${CRATES[@]}"; do
  fw=9
  [ -n "$crate" ] && fw=8

  # qemttc: REG TTC SER I2C, every combination.
  for a in "${COUNTS[@]}"; do for b in "${COUNTS[@]}"; do
    for c in "${COUNTS[@]}"; do for d in "${COUNTS[@]}"; do
      run qemttc "$crate" "fw$fw REG=$a TTC=$b SER=$c I2C=$d" "" "" "" "" "$a" "$b" "$c" "$d"
    done; done
  done; done
  for n in "${COUNTS[@]}"; do
    run qemttc "$crate" "fw$fw debug=4 all=$n" "" "" "" 4 "$n" "$n" "$n" "$n"
  done

  # qemtest: RST CLK REG RAM SEQ L1ID BCID SER CMD BRST.
  names=(RST CLK REG RAM SEQ L1ID BCID SER CMD BRST)
  defaults=(3 1 3 2 2 3 3 3 3 3)
  qemtestRun() {
    local -a loops=("$@")
    local i label
    label="fw$fw"
    [ -n "$debug" ] && label="$label debug=$debug"
    for i in "${!names[@]}"; do
      [ "${loops[$i]}" != "${defaults[$i]}" ] && label="$label ${names[$i]}=${loops[$i]}"
    done
    run qemtest "$crate" "$label" "" "" "$debug" "${loops[@]}"
  }
  for debug in "" 1; do
    for n in "${COUNTS[@]}"; do
      qemtestRun "$n" "$n" "$n" "$n" "$n" "$n" "$n" "$n" "$n" "$n"
    done
  done
  debug=1
  for i in "${!names[@]}"; do
    for a in "${COUNTS[@]}"; do
      loops=("${defaults[@]}")
      loops[$i]=$a
      qemtestRun "${loops[@]}"
    done
  done
  debug=""
  for i in "${!names[@]}"; do
    for j in "${!names[@]}"; do
      [ "$j" -le "$i" ] && [ "$i" -ne "$j" ] && continue
      for a in "${COUNTS[@]}"; do
        for b in "${COUNTS[@]}"; do
          [ "$i" -eq "$j" ] && [ "$a" != "$b" ] && continue
          loops=("${defaults[@]}")
          loops[$i]=$a
          loops[$j]=$b
          qemtestRun "${loops[@]}"
        done
      done
    done
  done
done

if [ -s "$TMP/shown" ]; then
  echo "ERROR lines of passing runs (shown, not counted), with the first run of each:"
  sed 's/^\(.*\): \(ERROR: .*\)$/\2|\1/' "$TMP/shown" | sort -t'|' -k1,1 -s |
    awk -F'|' '{n[$1]++; if (!($1 in first)) first[$1] = $2}
               END {for (e in n) printf "%6d %s  (first: %s)\n", n[e], e, first[e]}' | sort -k2
fi
echo "sweep: $runs runs, $notRun with a test not run for want of an earlier one," \
  "$falseFails false failures"
[ "$falseFails" -eq 0 ]
