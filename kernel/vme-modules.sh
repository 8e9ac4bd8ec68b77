#!/usr/bin/env bash
# Builds the kernel's VME drivers (the VME core, vme_tsi148 and vme_user) as
# modules from the distribution's kernel source, for a kernel built without
# them (Debian's CONFIG_VME_BUS is unset), and installs them.
#
#   kernel/vme-modules.sh                 build and install for the running kernel
#   kernel/vme-modules.sh --build KVER DIR [--fake]
#                                         only build, for kernel KVER, into DIR;
#                                         --fake adds vme_fake and vme_fake_berr
#
# VME_KERNEL_SOURCE names the kernel source (a tarball or an unpacked tree)
# when it is not Debian's /usr/src/linux-source-X.Y.tar.xz.  Run as root.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

die() { echo "vme-modules: $*" >&2; exit 1; }

# The Debian packages of the source and the headers for kernel $1, installed
# when missing.  A matching source version is taken when the archive has it.
debian_packages() {
  local kver=$1 majmin pkgs=() imagever
  majmin=$(echo "$kver" | cut -d. -f1,2)
  command -v apt-get >/dev/null || return 0
  [ -d "/lib/modules/$kver/build" ] || [ -d "/usr/src/linux-headers-$kver" ] ||
    pkgs+=("linux-headers-$kver")
  if [ -z "${VME_KERNEL_SOURCE:-}" ] && [ ! -f "/usr/src/linux-source-$majmin.tar.xz" ]; then
    imagever=$(dpkg-query -W -f '${Version}' "linux-image-$kver" 2>/dev/null || true)
    if [ -n "$imagever" ] && apt-cache show "linux-source-$majmin=$imagever" >/dev/null 2>&1; then
      pkgs+=("linux-source-$majmin=$imagever")
    else
      pkgs+=("linux-source-$majmin")
    fi
  fi
  command -v make >/dev/null && command -v gcc >/dev/null || pkgs+=(build-essential)
  command -v patch >/dev/null || pkgs+=(patch)
  [ ${#pkgs[@]} -eq 0 ] && return 0
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${pkgs[@]}"
}

# Copies the drivers of kernel source $1 (tarball or tree) into $2.
fetch_drivers() {
  local src=$1 dst=$2 sub=drivers/staging/vme_user
  mkdir -p "$dst"
  if [ -d "$src" ]; then
    [ -f "$src/$sub/vme.c" ] || die "$src has no $sub/vme.c"
    cp "$src/$sub"/*.[ch] "$dst/"
  else
    tar xf "$src" -C "$dst" --strip-components=4 --wildcards "*/$sub/*"
    [ -f "$dst/vme.c" ] || die "$src has no $sub"
  fi
}

# build KVER DIR FAKE: the modules for kernel KVER in DIR.
build() {
  local kver=$1 out=$2 fake=$3 majmin headers src work
  majmin=$(echo "$kver" | cut -d. -f1,2)
  headers=/lib/modules/$kver/build
  [ -d "$headers" ] || headers=/usr/src/linux-headers-$kver
  [ -d "$headers" ] || die "no headers for $kver"
  src=${VME_KERNEL_SOURCE:-/usr/src/linux-source-$majmin.tar.xz}
  [ -e "$src" ] || die "no kernel source $src (set VME_KERNEL_SOURCE)"
  work=$(mktemp -d)
  fetch_drivers "$src" "$work"
  # VME_BUS is a bool: vme.c carries no licence of its own and is built here
  # as the module "vme" with one added.
  mv "$work/vme.c" "$work/vme_core.c"
  cp "$here/vme_license.c" "$work/"
  # The bus-error check is a load-time parameter that 6.1 keeps out of
  # sysfs; publishing it read-only lets the bus library see it is off.
  sed -i 's/^module_param(err_chk, bool, 0);/module_param(err_chk, bool, 0444);/' \
    "$work/vme_tsi148.c"
  local objs="vme.o vme_tsi148.o vme_user.o"
  if [ "$fake" = 1 ]; then
    cp "$work/vme_fake.c" "$work/vme_fake_berr.c"
    (cd "$work" && patch -s vme_fake_berr.c "$here/vme_fake_berr.patch")
    objs="$objs vme_fake.o vme_fake_berr.o"
  fi
  printf 'obj-m := %s\nvme-y := vme_core.o vme_license.o\n' "$objs" >"$work/Kbuild"
  make -s -C "$headers" M="$work" -j"$(nproc)" modules >"$work/build.log" 2>&1 || {
    tail -n 40 "$work/build.log" >&2
    die "module build failed"
  }
  mkdir -p "$out"
  cp "$work"/*.ko "$out/"
  rm -rf "$work"
}

if [ "${1:-}" = --build ]; then
  [ $# -ge 3 ] || die "usage: $0 --build KVER DIR [--fake]"
  fake=0
  [ "${4:-}" = --fake ] && fake=1
  debian_packages "$2"
  build "$2" "$3" "$fake"
  exit 0
fi
[ $# -eq 0 ] || die "usage: $0 [--build KVER DIR [--fake]]"
[ "$(id -u)" = 0 ] || die "run as root"
kver=$(uname -r)
debian_packages "$kver"
dest=/lib/modules/$kver/updates/vme
build "$kver" "$dest" 0
depmod "$kver"
echo "vme-modules: installed $(cd "$dest" && echo *.ko) in $dest"
echo "vme-modules: load with: modprobe vme_tsi148 err_chk=1 && modprobe vme_user bus=0"
