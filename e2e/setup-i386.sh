#!/bin/bash
# Makes 32-bit Linux programs (Wine's 32-bit loader, wine32:i386) start on this
# machine. Run as root; does nothing where they already start.
#
# Some of our machines run a kernel that refuses 32-bit x86 code altogether
# (execve of an i386 ELF fails with "Exec format error", and a 64-bit process
# cannot enter compatibility mode either), so no 32-bit Wine runs natively there.
# Wine still runs under qemu's user-mode emulation, registered through binfmt_misc
# for i386 ELF files. Bookworm's own qemu (7.2) is unusable for it: Wine spends
# minutes in the emulator's page bookkeeping and crashes; the qemu of
# bookworm-backports (10.0) runs it well (prefix in ~15 s, a page in ~4 s).
set -euo pipefail
. "$(dirname "$0")/../scripts/lib/apt.sh"

i386_runs() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }

if [[ ! -e /lib/ld-linux.so.2 ]]; then
  echo "setup-i386: wine32:i386 is not installed (no /lib/ld-linux.so.2)" >&2
  exit 1
fi
if i386_runs; then
  echo "setup-i386: 32-bit programs start natively"
  exit 0
fi

qemu=/usr/bin/qemu-i386
qemu_major() { "$qemu" --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p'; }

if [[ ! -x $qemu || $(qemu_major) -lt 8 ]]; then
  . /etc/os-release
  if [[ ${VERSION_CODENAME:-} == bookworm ]]; then
    list=/etc/apt/sources.list.d/bookworm-backports.sources
    if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
      # The same archive the machine's own bookworm entry uses, backports suite.
      uri=$(grep -h -A3 -E '^URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null |
        awk '/^URIs:/ {u=$2} /^Suites:(.* )?bookworm( |$)/ {print u; exit}' || true)
      # Or a one-line entry: deb [options] URI bookworm components...
      [[ -n $uri ]] || uri=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
        sed -E 's/\[[^]]*\]//' |
        awk '$1 == "deb" && $3 == "bookworm" {print $2; exit}' || true)
      if [[ -z $uri ]]; then
        echo "setup-i386: no bookworm entry in the apt sources to add backports beside" >&2
        exit 1
      fi
      printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: %s\n' \
        "$uri" /usr/share/keyrings/debian-archive-keyring.gpg >"$list"
    fi
    apt_update || true # a missing index of another suite need not stop this one
    # qemu-user-static 7.2, if present, would shadow the newer emulator.
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -t bookworm-backports \
      --no-install-recommends qemu-user
  else
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends qemu-user
  fi
fi
echo "setup-i386: using $("$qemu" --version | head -n 1)"

binfmt=/proc/sys/fs/binfmt_misc
mountpoint -q "$binfmt" || mount -t binfmt_misc binfmt_misc "$binfmt"
# Any earlier registration for i386 (another interpreter) gives way to ours.
for entry in "$binfmt"/qemu-i386 "$binfmt"/i386; do
  [[ -e $entry ]] && echo -1 >"$entry"
done
# An i386 ELF executable or shared object. F: the kernel keeps the interpreter
# open, so it works inside any mount namespace or chroot.
printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' \
  >"$binfmt/register"

if i386_runs; then
  echo "setup-i386: 32-bit programs start through $qemu"
else
  echo "setup-i386: 32-bit programs still do not start" >&2
  exit 1
fi
