#!/usr/bin/env bash
# Installs what the scripts need on Debian 12; quick and quiet when all is present.
#   bash tools/setup.sh demo    what tools/demo.sh needs: compilers, Wine, a virtual display, screenshots
#   bash tools/setup.sh         that and what the tests and the release need besides
# Debian's archive can be mid-sync for hours: an index that cannot be fetched is named and the
# lists that did arrive are used; an install that cannot be resolved then is tried again
# preferring the release's own suite; where only the 32-bit Wine still cannot be had, the rest is
# installed and the scripts use the 64-bit Windows build. Any other package that cannot be
# installed stops the script.
cd "$(dirname "$0")/.."
source tools/stages.sh

demo_packages=(cmake g++ make googletest libpng-dev zlib1g-dev pkg-config libssl-dev
               g++-mingw-w64-i686-posix mingw-w64-tools g++-mingw-w64-x86-64-posix
               wine wine32:i386 wine64 xvfb xauth x11-apps netpbm)
test_packages=(git clang-14 libclang-rt-14-dev valgrind chromium clang-format python3-jsonschema
               help2man lintian bash-completion man-db osslsigncode openssl ca-certificates nodejs npm)
case "${1:-all}" in
  demo) packages=("${demo_packages[@]}") ;;
  all) packages=("${demo_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: bash tools/setup.sh [demo]" >&2; exit 2 ;;
esac
wine32=wine32:i386
update_tries=${GLYPHWARDEN_APT_TRIES:-3}
update_pause=${GLYPHWARDEN_APT_PAUSE:-10}

# The Debian packages: returns once they are in, or stops the script.
install_packages() {
  missing=()
  for p in "${packages[@]}"; do
    # Node.js from elsewhere (NodeSource's package carries its own npm, and conflicts with
    # Debian's) serves as well.
    [ "$p" = nodejs ] && command -v node >/dev/null && continue
    [ "$p" = npm ] && command -v npm >/dev/null && continue
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0

  stage "install ${missing[*]}"
  [ "$(id -u)" -eq 0 ] && sudo= || sudo=sudo
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  logs=build/logs
  mkdir -p "$logs"

  # Runs a command with its output in a log, silently: the caller decides what a failure means.
  logged() {
    local log=$1
    shift
    "$@" >"$log" 2>&1 </dev/null
  }
  # apt's own line on what an install took: "After this operation, 812 MB of additional disk space ..."
  disk_space() { grep -h 'additional disk space' "$1" | sed 's/^/   /' || true; }

  updated=false
  for try in $(seq "$update_tries"); do
    if logged "$logs/apt-update.log" $sudo apt-get update; then
      updated=true
      break
    fi
    [ "$try" -lt "$update_tries" ] && sleep "$update_pause"
  done
  if ! $updated; then
    # apt keeps every list it did fetch; one that failed is named, and the install decides.
    failed=$(grep -oE 'Failed to fetch [^ ]+' "$logs/apt-update.log" | sort -u | sed 's/^Failed to fetch //' || true)
    echo "   apt-get update failed $update_tries times ($logs/apt-update.log); going on with the lists it has."
    for index in $failed; do echo "   could not fetch $index"; done
  fi

  install=($sudo apt-get install -y --no-install-recommends)
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  if logged "$logs/apt-install.log" "${install[@]}" "${missing[@]}"; then
    disk_space "$logs/apt-install.log"
    return 0
  fi
  # A suite that is mid-sync can offer amd64 newer versions of multi-arch libraries than i386,
  # and wine32 needs the same version on both; the release's own suite has both.
  echo "   the install could not be resolved ($logs/apt-install.log); trying again preferring $codename's own packages"
  install+=(-o "APT::Default-Release=$codename")
  without_wine32=()
  for p in "${missing[@]}"; do [ "$p" = "$wine32" ] || without_wine32+=("$p"); done
  if [ ${#without_wine32[@]} -eq ${#missing[@]} ]; then
    # No 32-bit Wine asked for: this install is the last try, and its failure stops the script.
    quietly "$logs/apt-install-release.log" "${install[@]}" "${missing[@]}"
    disk_space "$logs/apt-install-release.log"
    return 0
  fi
  if logged "$logs/apt-install-release.log" "${install[@]}" "${missing[@]}"; then
    disk_space "$logs/apt-install-release.log"
    return 0
  fi
  # Where amd64 already has a newer library than i386 can match, apt will not go back to it:
  # only the 32-bit Wine is out of reach, and the 64-bit build of the same code runs instead.
  if [ ${#without_wine32[@]} -gt 0 ]; then
    quietly "$logs/apt-install-without-wine32.log" "${install[@]}" "${without_wine32[@]}"
    disk_space "$logs/apt-install-without-wine32.log"
  fi
  echo "   $wine32 cannot be installed beside this system's packages ($logs/apt-install-release.log):" \
    "everything else is installed, and the scripts use the 64-bit Windows build"
}

# The validators the tests check the HTML report and the record's schema with, from npm at the
# versions tools/validators pins, into build/validators; again only when the pins change.
install_validators() {
  local into=build/validators
  cmp -s tools/validators/package-lock.json "$into/package-lock.json" && [ -d "$into/node_modules" ] && return 0
  stage "install the validators (html-validate, axe-core, ajv-cli) from npm"
  rm -rf "$into"
  mkdir -p "$into" build/logs
  cp tools/validators/package.json tools/validators/package-lock.json "$into/"
  # The system's certificate store, which holds a local authority where the network has one;
  # Node.js otherwise trusts only the list built into it.
  local store=()
  [ -f /etc/ssl/certs/ca-certificates.crt ] && store=(--cafile /etc/ssl/certs/ca-certificates.crt)
  quietly build/logs/npm-validators.log npm ci --prefix "$into" --no-audit --no-fund "${store[@]}"
}

install_packages
[ "${1:-all}" = all ] && install_validators
exit 0
