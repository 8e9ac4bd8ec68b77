#!/usr/bin/env bash
# The programs on the Linux kernel's own VME drivers: boots Debian's kernel
# under software emulation with the VME core, vme_fake, a copy of it that
# reports bus errors (vme_fake_berr) and vme_user built from Debian's kernel
# source, and runs the cases of tests/kernel/cases there, each on the kernel
# interface and on the simulated crate.  Any difference fails the run,
# naming the case.
#
#   kernel/guest-test.sh          as root, after build/ was built
#
# Downloads and built modules are kept in build/kernel-guest for the next run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

die() { echo "guest-test: $*" >&2; exit 1; }
[ "$(id -u)" = 0 ] || die "run as root (it installs packages and builds modules)"
[ -x build/bin/vmemtest ] && [ -x build/kernel/vmewindows ] || die "build/ is not built"

# Debian's kernel, its headers and its source, of the same version.
need=()
for cmd in qemu-system-x86_64:qemu-system-x86 gcc:build-essential make:build-essential \
    patch:patch strip:binutils; do
  command -v "${cmd%%:*}" >/dev/null || need+=("${cmd#*:}")
done
# The guest's busybox must be the static one.
dpkg-query -W -f '${Status}' busybox-static 2>/dev/null | grep -q 'ok installed' ||
  need+=(busybox-static)
image_abi() {
  apt-cache depends linux-image-amd64 2>/dev/null |
    sed -n 's/^ *Depends: linux-image-\(.*\)$/\1/p' | head -n 1
}
abi=$(image_abi)
if [ -z "$abi" ]; then
  apt-get update -q >/dev/null
  abi=$(image_abi)
fi
[ -n "$abi" ] || die "no linux-image-amd64 in the package lists (apt-get update?)"
version=$(apt-cache show "linux-image-$abi" | sed -n 's/^Version: //p' | head -n 1)
majmin=$(echo "$abi" | cut -d. -f1,2)
[ "$(dpkg-query -W -f '${Version}' "linux-source-$majmin" 2>/dev/null || true)" = "$version" ] ||
  need+=("linux-source-$majmin=$version")
[ -d "/usr/src/linux-headers-$abi" ] || need+=("linux-headers-$abi=$version")
if [ ${#need[@]} -gt 0 ]; then
  echo "guest-test: installing ${need[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${need[@]}" \
    >/dev/null
  echo "guest-test: packages installed in $SECONDS s"
fi

cache=$root/build/kernel-guest/$abi-$version
mkdir -p "$cache"
if [ ! -f "$cache/vmlinuz" ]; then
  (cd "$cache" && apt-get download -q -o APT::Sandbox::User=root "linux-image-$abi=$version" >/dev/null)
  dpkg-deb -x "$cache"/linux-image-*.deb "$cache/image"
  cp "$cache/image/boot/vmlinuz-$abi" "$cache/vmlinuz"
  rm -rf "$cache/image" "$cache"/linux-image-*.deb
fi
stamp=$(cat kernel/vme-modules.sh kernel/vme_license.c kernel/vme_fake_berr.patch | sha256sum)
if [ "$(cat "$cache/modules.stamp" 2>/dev/null)" != "$stamp" ]; then
  rm -rf "$cache/modules"
  built=$SECONDS
  kernel/vme-modules.sh --build "$abi" "$cache/modules" --fake
  echo "$stamp" >"$cache/modules.stamp"
  echo "guest-test: modules built in $((SECONDS - built)) s"
fi

# The initramfs: busybox, the modules, the programs with their libraries,
# the slave helper and the cases.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fs=$work/fs
mkdir -p "$fs"/{bin,dev,proc,sys,tmp,suite/bin,suite/kernel,suite/tests/kernel}
cp /bin/busybox "$fs/bin/busybox"
cp kernel/guest-init.sh "$fs/init"
cp -r "$cache/modules" "$fs/suite/modules"
gcc -O2 -Wall -static -o "$fs/suite/vme_slaves" kernel/vme_slaves.c
# Stripped, the programs unpack in a fraction of the time under emulation.
strip -o "$fs/suite/kernel/vmewindows" build/kernel/vmewindows
for p in build/bin/*; do strip -o "$fs/suite/bin/$(basename "$p")" "$p"; done
cp tests/kernel/* "$fs/suite/tests/kernel/"
cp tests/kernel/cases "$fs/suite/cases"
for lib in $(ldd build/bin/* build/kernel/vmewindows | grep -o '/[^ ]*\.so[^ ]*' | sort -u); do
  mkdir -p "$fs$(dirname "$lib")"
  cp -L "$lib" "$fs$lib"
done
(cd "$fs" && find . | /bin/busybox cpio -o -H newc 2>/dev/null | gzip -1) >"$work/initrd"

echo "guest-test: booting Debian $abi ($version) under emulation"
# The console of the last run stays in build/kernel-guest for a look.
log=$root/build/kernel-guest/console.log
start=$(date +%s)
if ! timeout 600 qemu-system-x86_64 -accel tcg -m 1024 -smp 1 -nographic -no-reboot \
    -kernel "$cache/vmlinuz" -initrd "$work/initrd" \
    -append "console=ttyS0 quiet panic=-1 loglevel=4" </dev/null >"$log" 2>&1; then
  tail -n 30 "$log"
  die "the guest did not finish (time-out or emulator failure)"
fi
echo "guest-test: guest ran $(($(date +%s) - start)) s"
mkdir "$work/report"
if ! sed -n '/==== vme report begin ====/,/==== vme report end ====/p' "$log" | tr -d '\r' |
    grep -v '====' | base64 -d | tar -xzf - -C "$work/report"; then
  tail -n 30 "$log"
  die "no report came back from the guest"
fi
cat "$work/report/results"
for d in "$work/report"/*.diff; do
  [ -e "$d" ] || continue
  echo "--- $(basename "$d" .diff): reference (-) against the kernel (+)"
  cat "$d"
  for e in "${d%.diff}".kernel.err "${d%.diff}".ref.err; do
    [ -s "$e" ] && { echo "--- $(basename "$e")"; head -n 10 "$e"; }
  done
done
# The cases and the check of the Tsi148 driver's err_chk.
cases=$(($(grep -cv -e '^#' -e '^slaves ' -e '^$' tests/kernel/cases) + 1))
passed=$(grep -c '^ok ' "$work/report/results" || true)
if grep -q '^FAIL' "$work/report/results" || [ "$passed" != "$cases" ]; then
  [ -s "$work/report/dmesg" ] && { echo "--- guest kernel log"; cat "$work/report/dmesg"; }
  die "$passed of $cases cases agree"
fi
echo "guest-test: all $cases cases agree"
