# Sourced by the set-up scripts.
#
# install_missing WHO PACKAGE...: installs those of the Debian packages that are not installed
# yet (as root; otherwise names them and fails), saying how many and how long it took. Fails
# when apt-get cannot install them; apt's last error lines are then in $APT_ERRORS.

# apt-get update, retried: a mirror in mid-sync serves an index whose size does not match its
# Release file for a few minutes ("File has unexpected size ... Mirror sync in progress?").
# When it still fails after the retries, the indexes that failed are named and the set-up goes
# on: apt keeps the lists it has, and the packages may well be installable from them.
apt_update_retrying() {  # who
  local who=$1 try log
  log=$(mktemp)
  for try in 1 2 3 4; do
    if apt-get update -qq >"$log" 2>&1 && ! grep -q '^[EW]: Failed to fetch' "$log"; then
      rm -f "$log"
      return 0
    fi
    [ "$try" -lt 4 ] || break
    echo "$who: apt-get update failed (try $try of 4), again in $((try * 10)) s:" \
      "$(grep -m1 -o 'Failed to fetch [^ ]*' "$log" || tail -1 "$log")" >&2
    sleep $((try * 10))
  done
  echo "$who: apt-get update still fails; going on with the package lists apt has. Failed:" >&2
  grep -o 'Failed to fetch [^ ]*' "$log" | sed 's/^Failed to fetch /  /' >&2 || tail -3 "$log" >&2
  rm -f "$log"
  return 0
}

APT_ERRORS=
install_missing() {
  local who=$1 p start log
  shift
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "$who: missing packages: ${missing[*]} (run as root to install them)" >&2
    return 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  start=$(date +%s)
  # Packages of another architecture (wine32:i386) need it enabled first.
  for p in "${missing[@]}"; do
    case $p in
      *:*) dpkg --print-foreign-architectures | grep -qx "${p##*:}" || dpkg --add-architecture "${p##*:}" ;;
    esac
  done
  apt_update_retrying "$who"
  log=$(mktemp)
  if ! apt-get install -y -qq --no-install-recommends "${missing[@]}" >"$log" 2>&1; then
    APT_ERRORS=$(grep -E '^(E:| [^ ].*: Depends)' "$log" | tail -8)
    rm -f "$log"
    echo "$who: could not install ${missing[*]}:" >&2
    printf '%s\n' "$APT_ERRORS" | sed 's/^/  /' >&2
    return 1
  fi
  rm -f "$log"
  echo "$who: installed ${#missing[@]} packages in $(( $(date +%s) - start )) s" >&2
}
