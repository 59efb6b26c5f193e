#!/usr/bin/env bash
# Tries the README's two commands as a new user would: on fresh minimal
# Debian 12 and Debian 13 systems made with debootstrap, as root, each
# command in its own fresh system holding a clone of this checkout's HEAD.
# The systems get this machine's package-index settings (the apt sources
# and how they are reached) and CA certificates, as a new machine on the
# same network would have, and nothing else. Prints a table of release,
# command, seconds and result; a failing command's log ends are shown.
# Takes a while (a first build in every system); not part of scripts/test.sh.
#
#   scripts/fresh_check.sh [--keep] [--dir DIR] [--only tour|test] [12] [13]
#
# --keep leaves the systems and logs in DIR (default: a new folder under
# /var/tmp); without it everything made here is unmounted and removed.
# --only runs one of the two commands.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
keep=0
work=""
releases=()
commands=(scripts/tour.sh scripts/test.sh)
while [ $# -gt 0 ]; do
  case "$1" in
    --keep) keep=1 ;;
    --dir) work="$2"; shift ;;
    --only) commands=("scripts/$2.sh"); shift ;;
    12 | 13) releases+=("$1") ;;
    *) echo "usage: scripts/fresh_check.sh [--keep] [--dir DIR] [--only tour|test] [12] [13]" >&2
       exit 2 ;;
  esac
  shift
done
[ ${#releases[@]} -gt 0 ] || releases=(12 13)
say() { echo "fresh_check: $*"; }
die() { echo "fresh_check: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || die "making systems with debootstrap and chroot needs root: run it as root (sudo scripts/fresh_check.sh)"
command -v git >/dev/null || die "git is missing: apt-get install git"
if ! command -v debootstrap >/dev/null; then
  command -v apt-get >/dev/null || die "debootstrap is missing: install it from your distribution"
  say "installing debootstrap (apt-get)"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null \
    || die "could not install debootstrap: apt-get install debootstrap"
fi
codename_of() { case "$1" in 12) echo bookworm ;; 13) echo trixie ;; esac; }

# This machine's Debian sources, rewritten for another release: every
# entry of this release's suites (main, updates, security) with the
# release's name replaced, one-line entries and deb822 stanzas alike. A
# machine that is not Debian gets Debian's own.
host_codename="$(. /etc/os-release && [ "${ID:-}" = debian ] && echo "${VERSION_CODENAME:-}" || true)"
list_for() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -n "$host_codename" ] && [ -f "$f" ] && awk -v from="$host_codename" -v to="$1" '
      /^deb[ \t]/ { for (i = 2; i <= NF; i++) if ($i ~ "^" from "(-|$)") { sub("^" from, to, $i); print; next } }' "$f"
  done
  return 0
}
deb822_for() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -n "$host_codename" ] && [ -f "$f" ] && awk -v from="$host_codename" -v to="$1" '
      function flush() { if (deb && ours) printf "%s\n", stanza; stanza = ""; deb = ours = 0 }
      /^[ \t]*$/ { flush(); next }
      /^Types:/ { for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1 }
      /^Suites:/ { for (i = 2; i <= NF; i++) if ($i ~ "^" from "(-|$)") { sub("^" from, to, $i); ours = 1 } }
      { stanza = stanza $0 "\n" }
      END { flush() }' "$f"
  done
  return 0
}
sources_for() {
  local to="$1" dir="$2"
  list_for "$to" >"$dir/host.list"
  deb822_for "$to" >"$dir/host.sources"
  if ! grep -q . "$dir/host.list" "$dir/host.sources"; then
    printf 'deb http://deb.debian.org/debian %s main\n' "$to" "$to-updates" >"$dir/host.list"
    echo "deb http://deb.debian.org/debian-security $to-security main" >>"$dir/host.list"
  fi
}
# The archive debootstrap fetches from: the first URI of the sources made.
mirror_in() {
  cat "$1/host.list" "$1/host.sources" | sed -n -e 's/^deb \(\[[^]]*\] \)\?\(\S\+\) .*/\2/p' \
    -e 's/^URIs: *\(\S\+\).*/\1/p' | head -n 1
}

if [ -z "$work" ]; then
  work="$(mktemp -d /var/tmp/quillstone-fresh.XXXXXX)"
else
  mkdir -p "$work"
  work="$(cd "$work" && pwd)"
fi
made=()   # the systems made, for the cleanup

# Processes still running in a system (a test's stray worker) would keep
# its mounts busy; they were all started here.
stop_inside() {
  local sys="$1" p
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$sys" ] && kill -9 "${p#/proc/}" 2>/dev/null || true
  done
}
unmount_all() {
  local sys="$1" m
  stop_inside "$sys"
  # Deepest first.
  for m in $(awk -v s="$sys" '$2 == s || index($2, s "/") == 1 { print $2 }' /proc/mounts | sort -r); do
    umount "$m" 2>/dev/null || umount -l "$m"
  done
}
cleanup() {
  local sys
  for sys in "${made[@]}"; do unmount_all "$sys"; done
  if [ "$keep" -eq 1 ]; then
    say "kept the systems and logs in $work"
    return
  fi
  for sys in "${made[@]}"; do
    if awk -v s="$sys" '$2 == s || index($2, s "/") == 1 { found = 1 } END { exit !found }' /proc/mounts; then
      echo "fresh_check: $sys still has mounts; left in place" >&2
      return
    fi
  done
  rm -rf --one-file-system "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A pristine minimal system per release, copied for each command.
make_base() {
  local rel="$1" code base mirror
  code="$(codename_of "$rel")"
  base="$work/debian$rel-base"
  mkdir -p "$work/debian$rel-sources"
  sources_for "$code" "$work/debian$rel-sources"
  mirror="$(mirror_in "$work/debian$rel-sources")"
  say "debootstrap Debian $rel ($code) from $mirror"
  made+=("$base")
  if ! debootstrap --variant=minbase "$code" "$base" "$mirror" >"$work/debian$rel-debootstrap.log" 2>&1; then
    tail -n 20 "$work/debian$rel-debootstrap.log" >&2
    die "debootstrap of Debian $rel failed (log above)"
  fi
  rm -f "$base/etc/apt/sources.list"
  cp "$work/debian$rel-sources"/host.* "$base/etc/apt/sources.list.d/"
  # How this machine reaches the archive (proxies, date checks of a snapshot).
  apt-config dump | grep -E '^Acquire::(https?|ftp|socks|Check-Valid-Until|Check-Date|Retries)' \
    >"$base/etc/apt/apt.conf.d/90host" || true
  mkdir -p "$base/etc/ssl/certs" "$base/usr/local/share/ca-certificates"
  cp -L /etc/ssl/certs/ca-certificates.crt "$base/etc/ssl/certs/ca-certificates.crt"
  # Kept if ca-certificates is installed later and rebuilds the bundle.
  cp -L /etc/ssl/certs/ca-certificates.crt "$base/usr/local/share/ca-certificates/host.crt"
  cp -L /etc/resolv.conf "$base/etc/resolv.conf"
  printf '127.0.0.1\tlocalhost\n::1\tlocalhost ip6-localhost ip6-loopback\n' >"$base/etc/hosts"
  # Only the sources list changed above: a new user's first apt-get update
  # happens in the scripts.
}

# Runs one README command in a fresh copy of the release's system.
results=()
run_command() {
  local rel="$1" cmd="$2" sys log start rc secs
  sys="$work/debian$rel-${cmd##*/}"
  sys="${sys%.sh}"
  log="$sys.log"
  made+=("$sys")
  cp -a "$work/debian$rel-base" "$sys"
  git clone -q --no-hardlinks "$root" "$sys/root/quillstone"
  # Its root a mount point, as on a machine, so that unshare -m works.
  mount --bind "$sys" "$sys"
  mount -t proc proc "$sys/proc"
  mount -t sysfs sys "$sys/sys"
  mount --bind /dev "$sys/dev"
  mount --bind /dev/pts "$sys/dev/pts"
  mount -t tmpfs -o mode=1777 shm "$sys/dev/shm"
  say "Debian $rel: $cmd (log: $log)"
  start=$SECONDS
  set +e
  # A clean environment: only what a login shell on a new machine has,
  # and the proxy settings of this one.
  chroot "$sys" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    ${http_proxy:+http_proxy=$http_proxy} ${https_proxy:+https_proxy=$https_proxy} \
    ${no_proxy:+no_proxy=$no_proxy} \
    /bin/bash -c "cd /root/quillstone && $cmd" </dev/null >"$log" 2>&1
  rc=$?
  set -e
  secs=$((SECONDS - start))
  if [ "$rc" -eq 0 ]; then
    results+=("Debian $rel|$cmd|$secs|pass")
  else
    results+=("Debian $rel|$cmd|$secs|FAIL (exit $rc)")
    echo "---- the end of $log" >&2
    tail -n 40 "$log" >&2
  fi
  unmount_all "$sys"
  [ "$keep" -eq 1 ] || rm -rf --one-file-system "$sys"
}

for rel in "${releases[@]}"; do
  make_base "$rel"
  for cmd in "${commands[@]}"; do run_command "$rel" "$cmd"; done
  [ "$keep" -eq 1 ] || rm -rf --one-file-system "$work/debian$rel-base"
done

echo
printf '%-10s  %-16s  %7s  %s\n' release command seconds result
for r in "${results[@]}"; do
  IFS='|' read -r rel cmd secs res <<<"$r"
  printf '%-10s  %-16s  %7s  %s\n' "$rel" "$cmd" "$secs" "$res"
done
for r in "${results[@]}"; do
  case "$r" in *FAIL*) exit 1 ;; esac
done
