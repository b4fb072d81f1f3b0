#!/usr/bin/env bash
# tools/setup.sh against stand-in apt-get, dpkg-query, dpkg and sudo: an archive that is
# mid-sync, an i386 side that cannot match amd64, and a package that cannot be had at all.
#   setup_test.sh TOOLS_FOLDER WORK_FOLDER
set -euo pipefail
tools=$1 work=$2
rm -rf "$work"
mkdir -p "$work/project/tools" "$work/bin"
cp "$tools/setup.sh" "$tools/stages.sh" "$work/project/tools/"
cp -r "$tools/validators" "$work/project/tools/"

# The stand-ins log each call; STUB_INSTALL says which installs succeed.
cat >"$work/bin/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "apt-get $*" >>"$STUB_CALLS"
if [ "$1" = update ]; then
  echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
  echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
  exit 100
fi
case "$STUB_INSTALL:$*" in
  release:*Default-Release=*) ;;
  no-wine32:*wine32:i386*) ;;
  no-wine32:*Default-Release=*) exit 0 ;;
  *) echo "E: Unable to correct problems, you have held broken packages."; exit 100 ;;
esac
[ "$STUB_INSTALL" = release ] && { echo "After this operation, 12.3 MB of additional disk space will be used."; exit 0; }
echo "E: Unable to correct problems, you have held broken packages."
exit 100
EOF
cat >"$work/bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
for missing in $STUB_MISSING; do [ "${!#}" = "$missing" ] && exit 1; done
printf 'install ok installed'
EOF
printf '#!/bin/sh\necho i386\n' >"$work/bin/dpkg"
printf '#!/bin/sh\nmkdir -p "$3/node_modules"\n' >"$work/bin/npm"  # npm ci --prefix FOLDER ...
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*

failures=0
# name | missing packages | installs that succeed | exit | a line the output must hold | the last install must hold
while IFS='|' read -r name missing installs status said last; do
  calls=$work/$name.calls
  : >"$calls"
  got=0
  PATH=$work/bin:$PATH STUB_CALLS=$calls STUB_MISSING=$missing STUB_INSTALL=$installs \
    GLYPHWARDEN_APT_PAUSE=0 bash "$work/project/tools/setup.sh" >"$work/$name.out" 2>&1 || got=$?
  final=$(grep '^apt-get install' "$calls" | tail -n 1 || true)
  problem=
  [ "$got" -eq "$status" ] || problem="exit $got, expected $status"
  grep -qF -- "$said" "$work/$name.out" || problem="$problem; no line with '$said'"
  [[ "$final" == *"$last"* ]] || problem="$problem; last install '$final' does not hold '$last'"
  [ "$(grep -c '^apt-get update' "$calls")" -eq 3 ] || problem="$problem; apt-get update not tried 3 times"
  if [ -n "$problem" ]; then
    echo "FAIL $name: $problem; its output:"
    cat "$work/$name.out"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
done <<'EOF'
mid-sync|xauth|release|0|could not fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz|-o APT::Default-Release=bookworm xauth
only the 32-bit wine|xauth wine32:i386|no-wine32|0|the scripts use the 64-bit Windows build|Default-Release=bookworm xauth
nothing installs|xauth wine32:i386|never|100|'apt-get install -y --no-install-recommends -o APT::Default-Release=bookworm xauth' exited with 100|xauth
EOF
[ "$failures" -eq 0 ]
