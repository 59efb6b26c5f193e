#!/usr/bin/env bash
# Prints the prefix of a FLINT built without NTL, for the wheel. Some
# distributions (Debian 12 among them) build FLINT with its NTL interface,
# and NTL brings gf2x, which is GPL-only: a wheel that bundles it could not
# be passed on. This builds the FLINT of the installed libflint-dev once,
# from the distribution's own source package of that version (fetched with
# apt-get from the archives this machine's sources name), configured
# without NTL, and keeps it under ~/.cache/quillstone, keyed by the
# version and the build flags; later calls print the kept one at once.
# Its licence texts go to PREFIX/share/licenses/flint/.
#
# QS_FLINT_PREFIX=/prefix names one built elsewhere instead.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
who=wheel
. "$root/scripts/packages.sh"
if [ -n "${QS_FLINT_PREFIX:-}" ]; then
  echo "$QS_FLINT_PREFIX"
  exit 0
fi
have_dpkg || give_up "the system's FLINT links NTL (with the GPL-only gf2x), and only Debian-like" \
  "systems can rebuild it here. Build FLINT without NTL (its configure's default)" \
  "and name its install prefix in QS_FLINT_PREFIX."
source_pkg="$(dpkg-query -W -f='${source:Package}=${source:Version}' libflint-dev)"
# Upstream's flags without -g, and none that ties the library to this CPU
# (upstream adds -mpopcnt only when CFLAGS is not given).
cflags="-O2 -funroll-loops"
configure_args=(--disable-static --with-gmp=/usr --with-mpfr=/usr)
key="$(printf '%s\n' "$cflags" "${configure_args[@]}" | sha256sum | cut -c1-12)"
cache="${XDG_CACHE_HOME:-$HOME/.cache}/quillstone"
prefix="$cache/${source_pkg/=/-}-without-ntl-$key"
mkdir -p "$cache"
# One build at a time: a second caller waits and then takes the first's.
exec 9>"$cache/flint.lock"
flock 9
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

# apt-get source and dpkg-source unpack the source and apply its patches;
# make builds it.
need_packages dpkg-dev make >&2
work="$(mktemp -d "$cache/flint-build.XXXXXX")"
trap 'rm -rf "$work"' EXIT
say "building FLINT ($source_pkg) without NTL into $prefix (once: about 10 minutes of CPU, 5 on an idle 2-core machine)" >&2

# The machine's own archives, asked for sources, in private apt state so
# that the machine's configuration is left as it is.
mkdir -p "$work/apt/sources" "$work/apt/lists/partial" "$work/apt/cache/archives/partial" "$work/src"
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$f" ] && sed -n 's/^deb\([ \t]\)/deb-src\1/p' "$f"
done >"$work/apt/sources/machine.list"
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] && { sed 's/^Types:.*/Types: deb-src/' "$f"; echo; }
done >"$work/apt/sources/machine.sources"
apt_opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$work/apt/sources"
          -o "Dir::State::Lists=$work/apt/lists" -o "Dir::Cache=$work/apt/cache"
          -o Debug::NoLocking=1 -o APT::Sandbox::User="$(id -un)")
apt-get -qq "${apt_opts[@]}" update >"$work/fetch.log" 2>&1 || true
if ! (cd "$work/src" && apt-get -q "${apt_opts[@]}" source "$source_pkg") >>"$work/fetch.log" 2>&1; then
  grep -E '^(E|W):' "$work/fetch.log" | tail -n 4 >&2
  give_up "could not fetch and unpack FLINT's source package ($source_pkg) from the archives" \
    "that /etc/apt/sources.list{,.d} name (apt's words above). Connect this machine to the" \
    "network, or build FLINT without NTL elsewhere and name its prefix in QS_FLINT_PREFIX."
fi
src="$(find "$work/src" -mindepth 1 -maxdepth 1 -type d | head -n 1)"

(
  cd "$src"
  ./configure --prefix="$prefix.tmp" "${configure_args[@]}" CFLAGS="$cflags" >"$work/build.log" 2>&1
  make -j "$(nproc 2>/dev/null || echo 2)" >>"$work/build.log" 2>&1
  make install >>"$work/build.log" 2>&1
) || { tail -n 30 "$work/build.log" >&2; give_up "building FLINT failed (the end of its log above)"; }
if ldd "$prefix.tmp"/lib/libflint.so | grep libntl >/dev/null; then
  give_up "FLINT built here still links NTL"
fi
# The licence of the library and Debian's record of its parts' licences.
mkdir -p "$prefix.tmp/share/licenses/flint"
find "$src" -maxdepth 1 -type f \( -name 'LICEN[CS]E*' -o -name 'COPYING*' \) \
  -exec cp {} "$prefix.tmp/share/licenses/flint/" \;
cp "$src/debian/copyright" "$prefix.tmp/share/licenses/flint/copyright"
rm -rf "$prefix"
mv "$prefix.tmp" "$prefix"
echo "$source_pkg" >"$prefix/.complete"
echo "$prefix"
