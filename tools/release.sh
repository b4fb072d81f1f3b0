#!/usr/bin/env bash
# Builds the release into build/release: Glyphwarden-<version>-win32.zip (both 32-bit programs,
# statically linked, with README.txt and SHA256SUMS) and glyphwarden-cli_<version>_amd64.deb.
# Both are the same bytes wherever and whenever they are built from the same commit.
#   bash tools/release.sh            the release
#   bash tools/release.sh --win64    a -win64 zip of the same code instead, for testing where the
#                                    kernel cannot run 32-bit programs
cd "$(dirname "$0")/.."
source tools/stages.sh
bash tools/setup.sh

arch=win32 toolchain=cmake/mingw-i686.cmake
if [ "${1:-}" = --win64 ]; then arch=win64 toolchain=cmake/mingw-x86_64.cmake; fi
version=$(sed -n 's/^project(Glyphwarden VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
# Every time stamp in the packages is the last commit's.
epoch=$(git log -1 --format=%ct 2>/dev/null || echo 315532800)
out=$PWD/build/release
mkdir -p "$out"
export SOURCE_DATE_EPOCH=$epoch

stage "build the $arch programs"
windows=build/release-$arch
quietly "build/logs/release-$arch-configure.log" cmake -S . -B "$windows" -DCMAKE_TOOLCHAIN_FILE=$toolchain \
  -DCMAKE_BUILD_TYPE=Release -DGLYPHWARDEN_TESTS=OFF
quietly "build/logs/release-$arch-build.log" cmake --build "$windows" -j "$(nproc)" --target Glyphwarden glyphwarden-cli

stage "pack Glyphwarden-$version-$arch.zip"
zip_folder=$windows/zip
rm -rf "$zip_folder"
mkdir -p "$zip_folder"
cp "$windows/bin/Glyphwarden.exe" "$windows/bin/glyphwarden-cli.exe" "$zip_folder/"
# Windows line ends, for Notepad.
sed "s/@VERSION@/$version/; s/\$/\r/" tools/release/README.txt >"$zip_folder/README.txt"
(cd "$zip_folder" && sha256sum Glyphwarden.exe glyphwarden-cli.exe >SHA256SUMS)
/usr/bin/python3 tools/pack_zip.py "$out/Glyphwarden-$version-$arch.zip" "$epoch" "$zip_folder"

stage "build glyphwarden-cli for Linux"
linux=build/release-linux
quietly build/logs/release-linux-configure.log cmake -S . -B "$linux" -DCMAKE_BUILD_TYPE=Release -DGLYPHWARDEN_TESTS=OFF
quietly build/logs/release-linux-build.log cmake --build "$linux" -j "$(nproc)" --target glyphwarden-cli

stage "pack glyphwarden-cli_${version}_amd64.deb"
# Whoever publishes the package names themselves here, with a real address:
#   GLYPHWARDEN_MAINTAINER='Your Name <you@example.org>' bash tools/release.sh
maintainer=${GLYPHWARDEN_MAINTAINER:-Glyphwarden developers <glyphwarden@localhost>}
root=$linux/deb
doc=$root/usr/share/doc/glyphwarden-cli
rm -rf "$root"
mkdir -p "$root/DEBIAN" "$root/usr/bin" "$doc" "$root/usr/share/man/man1" "$root/usr/share/bash-completion/completions"
install -m 0755 -s "$linux/bin/glyphwarden-cli" "$root/usr/bin/glyphwarden-cli"
# The manual page is --help and --version, with the longer sections from the include file; its
# date is the last commit's (help2man reads SOURCE_DATE_EPOCH).
# help2man reads a synopsis from "Usage:" and "or:" lines, each on one line: the usage block of
# --help is put in that shape, word for word.
cat >"$linux/help-for-man" <<SCRIPT
#!/bin/sh
[ "\$1" = --version ] && exec "$PWD/$linux/bin/glyphwarden-cli" --version
"$PWD/$linux/bin/glyphwarden-cli" --help | awk '
  NR == 1 && sub(/^usage: /, "Usage: ") { line = \$0; usage = 1; next }
  usage && /^ +glyphwarden-cli / { print line; sub(/^ +/, "  or:  "); line = \$0; next }
  usage && /^ +[-[]/ { sub(/^ +/, " "); line = line \$0; next }
  usage { print line; usage = 0 }
  { print }'
SCRIPT
chmod +x "$linux/help-for-man"
quietly build/logs/release-man.log help2man --no-info --section=1 --name="carry PNG graphics from one device firmware version to another" \
  --include=tools/release/glyphwarden-cli.h2m --output="$linux/glyphwarden-cli.1" "$linux/help-for-man"
gzip -9n <"$linux/glyphwarden-cli.1" >"$root/usr/share/man/man1/glyphwarden-cli.1.gz"
install -m 0644 tools/release/glyphwarden-cli.bash-completion "$root/usr/share/bash-completion/completions/glyphwarden-cli"
install -m 0644 docs/run-record.schema.json "$doc/run-record.schema.json"
cat >"$root/DEBIAN/control" <<CONTROL
Package: glyphwarden-cli
Version: $version
Architecture: amd64
Maintainer: $maintainer
Installed-Size: $(du -sk --apparent-size "$root/usr" | cut -f1)
Depends: libc6 (>= 2.34), libgcc-s1 (>= 3.0), libssl3 (>= 3.0.0), libstdc++6 (>= 12)
Section: utils
Priority: optional
Description: carries PNG graphics from one device firmware version to another
 Reads the pair tables of two firmware images and copies every PNG of a
 graphics folder into another folder under the graphic number the new
 firmware gives it, never changing a firmware image and never overwriting a
 PNG. Dry run, text, HTML and JSON reports; a recorded run can be taken back.
CONTROL
# A native package's changelog and copyright, in Debian's formats.
{
  printf 'glyphwarden-cli (%s) unstable; urgency=medium\n\n' "$version"
  printf '  * Release %s of Glyphwarden.\n\n' "$version"
  printf ' -- %s  %s\n' "$maintainer" "$(LC_ALL=C date -u -R -d "@$epoch")"
} | gzip -9n >"$doc/changelog.gz"
cat >"$doc/copyright" <<COPYRIGHT
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Glyphwarden

Files: *
Copyright: $(date -u -d "@$epoch" +%Y) The Glyphwarden developers
License: all-rights-reserved
 Glyphwarden is published by its developers, who keep every right to it.
COPYRIGHT
(cd "$root" && find usr -type f -exec md5sum {} + | LC_ALL=C sort -k2) >"$root/DEBIAN/md5sums"
chmod -R u=rwX,go=rX "$root"
find "$root" -exec touch -h -d "@$epoch" {} +
quietly build/logs/release-deb.log dpkg-deb --root-owner-group -Zxz --build "$root" "$out/glyphwarden-cli_${version}_amd64.deb"

stage "done"
(cd "$out" && ls -l "Glyphwarden-$version-$arch.zip" "glyphwarden-cli_${version}_amd64.deb" | awk '{print "   " $5 " bytes  " $9}')
(cd "$out" && sha256sum "Glyphwarden-$version-$arch.zip" "glyphwarden-cli_${version}_amd64.deb" | sed 's/^/   /')
