# Sourced by the scripts that install what they need: system packages
# through apt-get and Python packages through pip, each failure that the
# script cannot mend itself (no root, no network) told in one message that
# names what is missing and how to provide it. The sourcing script sets
# `who`, the name its messages start with.

say() { echo "$who: $*"; }
# The message of a failure the scripts cannot mend, then exit.
give_up() {
  local line
  for line in "$@"; do echo "$who: $line" >&2; done
  exit 1
}

have_dpkg() { command -v dpkg-query >/dev/null && command -v apt-get >/dev/null; }
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# Installs those of the named Debian packages that are missing.
need_packages() {
  local need=() pkg sudo="" log
  for pkg in "$@"; do installed "$pkg" || need+=("$pkg"); done
  [ ${#need[@]} -gt 0 ] || return 0
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null && sudo -n true 2>/dev/null && sudo="sudo" || give_up \
      "these system packages are missing: ${need[*]}" \
      "installing them needs root, and this user is not root and cannot sudo without a password." \
      "As root, run:  apt-get install ${need[*]}" \
      "then run this again."
  fi
  say "installing system packages: ${need[*]} (apt-get, about a minute)"
  log="$(mktemp)"
  if ! { $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive \
         $sudo apt-get install -y -qq --no-install-recommends "${need[@]}"; } >"$log" 2>&1; then
    tail -n 5 "$log" >&2
    rm -f "$log"
    give_up "apt-get could not install: ${need[*]} (its last words above)." \
      "Check that this machine reaches the archives in /etc/apt/sources.list{,.d}, or install" \
      "them from elsewhere (apt-get install ${need[*]}), then run this again."
  fi
  rm -f "$log"
}

# pip install ARGS into the venv; when the package index cannot be reached,
# one message says so instead of pip's retries and traceback.
pip_install() {
  local log
  log="$(mktemp)"
  if .venv/bin/python -m pip install -q "$@" >"$log" 2>&1; then
    cat "$log"
    rm -f "$log"
    return 0
  fi
  if grep -q -E "NewConnectionError|Name or service not known|Temporary failure in name resolution|Network is unreachable|ConnectTimeout|Connection refused|No matching distribution found|Could not find a version that satisfies" "$log"; then
    grep -E "^ERROR" "$log" | tail -n 2 >&2
    rm -f "$log"
    give_up "pip could not reach a package index for: $*" \
      "Connect this machine to the network (PyPI), or name a reachable index in PIP_INDEX_URL" \
      "(or a folder of wheels in PIP_FIND_LINKS), then run this again."
  fi
  cat "$log" >&2
  rm -f "$log"
  return 1
}
