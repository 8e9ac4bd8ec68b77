#!/bin/busybox sh
# /init of the guest of kernel/guest-test.sh: loads the VME drivers, runs
# every case of /suite/cases on the kernel's user interface and on the
# reference bus, compares them, and sends the report back over the console
# as a base64 tarball between markers.  Everything it writes is in tmpfs.
/bin/busybox --install -s /bin
export PATH=/bin:/suite/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs -o size=384m tmpfs /tmp
cd /suite || exit 1
out=/tmp/out
report=/tmp/report
mkdir -p "$out" "$report"
: >"$report/results"
booted=$(cut -d' ' -f1 /proc/uptime)

note() { echo "$*" >>"$report/results"; }
now() { cut -d' ' -f1 /proc/uptime; }

# load BRIDGE MODULE: the bridge's module and the user interface, then the
# bridge's slaves, and the crate file that equals them.
load() {
  insmod "modules/$2.ko" || return 1
  insmod modules/vme_user.ko bus=0 || return 1
  [ -e /dev/bus/vme/ctl ] || return 1
  slaves=$(grep "^slaves $1 " cases | cut -d' ' -f3-)
  : >"/tmp/$1.crate"
  for s in $slaves; do
    echo "$s" | awk -F: '{ printf "memory %s %s size=%s\n", $2, $3, $4 }' >>"/tmp/$1.crate"
  done
}

unload() { rmmod vme_user; rmmod "$1"; }

# run NAME SIDE BUS CRATE CUT INPUT COMMAND...
run() {
  name=$1 side=$2 bus=$3 crate=$4 cut=$5 input=$6
  shift 6
  f=$out/$name.$side
  start=$(now)
  if [ "$input" = - ]; then input=; fi
  if [ "$cut" = 0 ]; then
    printf "$input" | VME_BUS=$bus VME_SIM_CRATE=$crate VME_TRACE=$f.trace \
      timeout 300 "$@" >"$f.out" 2>"$f.err"
  else
    printf "$input" | VME_BUS=$bus VME_SIM_CRATE=$crate VME_TRACE=$f.trace \
      timeout -s INT "$cut" "$@" >"$f.out" 2>"$f.err"
  fi
  echo $? >"$f.status"
  end=$(now)
  # A cut run keeps the start of its trace only: the simulated crate makes
  # far more cycles in the time than the kernel path.
  if [ "$cut" = 0 ]; then
    grep -v '^#' "$f.trace" >"$f.cycles" 2>/dev/null
  else
    grep -v '^#' "$f.trace" 2>/dev/null | head -n 100000 >"$f.cycles"
    # The soak's totals at Control-C count how far each run got: not compared.
    sed -n '/^error counts = /q;p' "$f.out" >"$f.out.cut" && mv "$f.out.cut" "$f.out"
  fi
  rm -f "$f.trace"
  echo "$start $end $(wc -l <"$f.cycles")" >"$f.time"
}

# The first N lines of each of two files, N the shorter's length.
common() {
  n=$(wc -l <"$1")
  m=$(wc -l <"$2")
  [ "$m" -lt "$n" ] && n=$m
  head -n "$n" "$1" >"$1.common"
  head -n "$n" "$2" >"$2.common"
  echo "$n"
}

compare() {
  name=$1 cut=$2
  k=$out/$name.kernel
  r=$out/$name.ref
  bad=
  for part in out status cycles; do
    a=$k.$part b=$r.$part
    if [ "$cut" != 0 ] && [ "$part" != status ]; then
      lines=$(common "$a" "$b")
      # A cut run must have got past its start.
      [ "$lines" -ge 20 ] || bad="$bad $part(only $lines lines)"
      a=$a.common b=$b.common
    fi
    if ! cmp -s "$a" "$b"; then
      bad="$bad $part"
      diff -u "$b" "$a" | head -n 40 >>"$report/$name.diff"
    fi
  done
  set -- $(cat "$k.time") $(cat "$r.time")
  timing="kernel $(awk "BEGIN{print $2-$1}")s $3 cycles, reference $(awk "BEGIN{print $5-$4}")s $6 cycles"
  if [ -n "$bad" ]; then
    note "FAIL $name:$bad ($timing)"
    cp "$k.err" "$report/$name.kernel.err"
    cp "$r.err" "$report/$name.ref.err"
  else
    note "ok $name ($timing)"
  fi
}

insmod modules/vme.ko || note "FAIL insmod vme"
for bridge in fake berr; do
  module=vme_fake
  [ "$bridge" = berr ] && module=vme_fake_berr
  if ! load "$bridge" "$module"; then
    note "FAIL $module does not load"
    dmesg | tail -n 20 >>"$report/results"
    continue
  fi
  grep -v '^#' cases | grep -v '^slaves ' | while read -r name b ref cut input cmd; do
    [ -n "$name" ] && [ "$b" = "$bridge" ] || continue
    # Every case starts on slave windows of all ones, as the crate's boards.
    ./vme_slaves /dev/bus/vme $slaves || note "FAIL $name: slave windows not set"
    run "$name" kernel vme_user "" "$cut" "$input" $cmd
    run "$name" ref "$ref" "/tmp/$bridge.crate" "$cut" "$input" $cmd
    compare "$name" "$cut"
  done
  unload "$module"
done
# The Tsi148 driver loads without its hardware; the library reads its
# bus-error check from sysfs and says when it is off.
warned() {
  VME_BUS=vme_user kernel/vmewindows 200000 2>&1 >/dev/null | grep -q 'vme_tsi148 does not check'
}
if insmod modules/vme_tsi148.ko && warned && rmmod vme_tsi148 &&
    insmod modules/vme_tsi148.ko err_chk=1 && ! warned; then
  note "ok tsi148-err-chk (the library warns without err_chk=1, not with it)"
else
  note "FAIL tsi148-err-chk: err_chk=$(cat /sys/module/vme_tsi148/parameters/err_chk 2>&1)"
fi
rmmod vme_tsi148 2>/dev/null
dmesg | grep -i -E 'vme|fake' | tail -n 20 >"$report/dmesg"
note "guest: /init at ${booted} s, cases done at $(now) s of uptime"

echo "==== vme report begin ===="
tar -C "$report" -czf - . | base64
echo "==== vme report end ===="
poweroff -f
