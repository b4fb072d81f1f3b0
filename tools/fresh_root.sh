#!/usr/bin/env bash
# Runs commands in a truly fresh Debian 12, as a new user meets the project: a minbase root made
# by debootstrap with this machine's apt sources, a fresh clone of this repository's HEAD in
# /src/glyphwarden, and each command timed there, as root, one after another. A check to run by
# hand before a stop (as root, on Debian), not part of CI.
#   bash tools/fresh_root.sh 'bash tools/demo.sh' 'bash tools/test.sh'
#   GLYPHWARDEN_KEEP_ROOT=1 ...   keeps the root (its folder is printed) instead of removing it
cd "$(dirname "$0")/.."
source tools/stages.sh
[ $# -gt 0 ] || { echo "usage: bash tools/fresh_root.sh COMMAND..." >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "fresh_root.sh: must run as root (debootstrap, chroot, mount)" >&2; exit 2; }

stage "make a minbase Debian 12 root"
if ! command -v debootstrap >/dev/null; then
  quietly build/logs/fresh-root-debootstrap-install.log apt-get install -y --no-install-recommends debootstrap
fi
sources=/etc/apt/sources.list.d/debian.sources
mirror=$(sed -n 's/^URIs: *//p' "$sources" | head -n 1)
root=$(mktemp -d /var/tmp/glyphwarden-fresh-root.XXXXXX)
# mktemp's 0700 would keep every other user inside the root (nobody, say) from its libraries.
chmod 755 "$root"
bound=()
unbind() {
  local i
  for ((i = ${#bound[@]} - 1; i >= 0; i--)); do umount "${bound[i]}" 2>/dev/null || umount -l "${bound[i]}" || true; done
  bound=()
}
remove_root() {
  unbind
  # Removed only once nothing is bound into it: a bound /tmp would go with it.
  if [ -z "${GLYPHWARDEN_KEEP_ROOT:-}" ] && ! grep -qF " $root/" /proc/mounts; then rm -rf "$root"; fi
  [ -z "${GLYPHWARDEN_KEEP_ROOT:-}" ] || echo "   the root is kept: $root"
}
on_exit remove_root
start=$SECONDS
quietly build/logs/fresh-root-debootstrap.log debootstrap --variant=minbase bookworm "$root" "$mirror"
cp "$sources" "$root/etc/apt/sources.list.d/"
rm -f "$root/etc/apt/sources.list"
# This machine's own certificate authorities (a network that inspects TLS has one), as its apt
# sources: they join the root's store when ca-certificates is installed there.
mkdir -p "$root/usr/local/share/ca-certificates"
cp /usr/local/share/ca-certificates/*.crt "$root/usr/local/share/ca-certificates/" 2>/dev/null || true
echo "   $root, in $((SECONDS - start)) s"

for folder in /proc /sys /dev /dev/pts /tmp; do
  mount --bind "$folder" "$root$folder"
  bound+=("$root$folder")
done
mkdir -p "$root/src"
git clone -q . "$root/src/glyphwarden"
echo "   cloned $(git rev-parse --short HEAD) into /src/glyphwarden"

for command in "$@"; do
  stage "in the fresh root: $command"
  start=$SECONDS
  status=0
  env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root TERM=dumb LANG=C.UTF-8 \
    chroot "$root" bash -c "cd /src/glyphwarden && $command" || status=$?
  echo "== fresh_root.sh: '$command' exited with $status after $((SECONDS - start)) s"
  [ "$status" -eq 0 ] || exit "$status"
done
