# shellcheck shell=bash
# Installing Debian's packages, for the install scripts. Sourced, not run.
#
#   apt_install WHAT PACKAGE...   installs those of PACKAGE... not yet installed
#
# A mirror that is being synced fails one index file now and then ("File has
# unexpected size ... Mirror sync in progress?"), which makes `apt-get update`
# fail although the packages may well be installable from the lists it did get.
# So the update is tried a few times with a pause, and then the install is tried
# anyway: only a failed install fails, naming what it could not install.
# With an index missing, one architecture's list may lack the newer version the
# other's has (a security update of a library wine32:i386 needs beside its
# amd64 twin), so that install is tried once more from the release's own suite
# (the codename's, without its updates), whose lists were all fetched.

apt_update_tries=3
apt_update_pause=10

apt_missing() {
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      echo "$package"
  done
}

# 0 when the lists are whole, 1 when some index is missing.
apt_update() {
  local try
  for ((try = 1; try <= apt_update_tries; try++)); do
    apt-get update -qq && return 0
    ((try < apt_update_tries)) && sleep "$apt_update_pause"
  done
  echo "apt-get update failed $apt_update_tries times; installing from the lists it has" >&2
  return 1
}

apt_get_install() {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

apt_install() {
  local what=$1 missing
  shift
  mapfile -t missing < <(apt_missing "$@")
  ((${#missing[@]})) || return 0
  echo "Installing ($what): ${missing[*]}"
  local whole=1 codename
  apt_update || whole=0
  apt_get_install "${missing[@]}" && return 0
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  if ((!whole)) && [[ -n $codename ]]; then
    echo "Installing ($what) from $codename alone: ${missing[*]}"
    apt_get_install -t "$codename" "${missing[@]}" && return 0
  fi
  echo "could not install ($what): ${missing[*]}" >&2
  return 1
}
