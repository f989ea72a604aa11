# Sourced by the set-up scripts. install_missing WHO PACKAGE...: installs those of the Debian
# packages that are not installed yet (as root; otherwise names them and fails), saying how
# many and how long it took.
install_missing() {
  local who=$1 p start
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
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  echo "$who: installed ${#missing[@]} packages in $(( $(date +%s) - start )) s" >&2
}
