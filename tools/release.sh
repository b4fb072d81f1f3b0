#!/usr/bin/env bash
# Builds the release into build/release: Glyphwarden-<version>-win32.zip (both 32-bit programs,
# statically linked and stripped, with README.txt and SHA256SUMS), their symbols beside it in
# Glyphwarden-<version>-win32-symbols.zip, glyphwarden-cli_<version>_amd64.deb, and SHA256SUMS
# of the zip and the .deb. All are the same bytes wherever and whenever they are built from the
# same commit, unless the programs are signed.
#   bash tools/release.sh            the release
#   bash tools/release.sh --win64    a -win64 zip of the same code instead, for testing where the
#                                    kernel cannot run 32-bit programs
# Both programs are signed (Authenticode) when a certificate and its unencrypted key are given:
#   GLYPHWARDEN_SIGN_CERT=cert.pem GLYPHWARDEN_SIGN_KEY=key.pem bash tools/release.sh
# GLYPHWARDEN_SIGN_TIMESTAMP=URL adds an RFC 3161 time stamp from that server, so that the
# signature stays valid after the certificate expires.
# The certificate and key are named from where the script was started.
sign_cert=${GLYPHWARDEN_SIGN_CERT:+$(realpath -e "$GLYPHWARDEN_SIGN_CERT")}
sign_key=${GLYPHWARDEN_SIGN_KEY:+$(realpath -e "$GLYPHWARDEN_SIGN_KEY")}
cd "$(dirname "$0")/.."
source tools/stages.sh
bash tools/setup.sh

if [ -n "${GLYPHWARDEN_SIGN_CERT:-}${GLYPHWARDEN_SIGN_KEY:-}" ] && { [ -z "$sign_cert" ] || [ -z "$sign_key" ]; }; then
  echo "release.sh: signing needs both GLYPHWARDEN_SIGN_CERT and GLYPHWARDEN_SIGN_KEY, each an existing file" >&2
  exit 2
fi

arch=win32 toolchain=cmake/mingw-i686.cmake target=i686-w64-mingw32
if [ "${1:-}" = --win64 ]; then arch=win64 toolchain=cmake/mingw-x86_64.cmake target=x86_64-w64-mingw32; fi
version=$(sed -n 's/^project(Glyphwarden VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
# Every time stamp in the packages is the last commit's.
epoch=$(git log -1 --format=%ct 2>/dev/null || echo 315532800)
out=$PWD/build/release
mkdir -p "$out"
export SOURCE_DATE_EPOCH=$epoch

stage "build the $arch programs"
windows=build/release-$arch
# With debug information, so that the symbols kept beside the zip describe the programs' own
# code and not only the runtime's; -g does not change the code GCC generates.
quietly "build/logs/release-$arch-configure.log" cmake -S . -B "$windows" -DCMAKE_TOOLCHAIN_FILE=$toolchain \
  -DCMAKE_BUILD_TYPE=Release -DGLYPHWARDEN_TESTS=OFF -DCMAKE_C_FLAGS=-g -DCMAKE_CXX_FLAGS=-g
quietly "build/logs/release-$arch-build.log" cmake --build "$windows" -j "$(nproc)" --target Glyphwarden glyphwarden-cli

stage "strip${sign_cert:+ and sign} the $arch programs"
zip_folder=$windows/zip
symbols_folder=$windows/symbols
rm -rf "$zip_folder" "$symbols_folder"
mkdir -p "$zip_folder" "$symbols_folder"
for program in Glyphwarden.exe glyphwarden-cli.exe; do
  # objcopy writes the PE header anew, with the time (or SOURCE_DATE_EPOCH) in it unless told 0:
  # 0 is what the linker wrote (--no-insert-timestamp). The program keeps the name of its
  # symbols file, for gdb.
  SOURCE_DATE_EPOCH=0 $target-objcopy --only-keep-debug "$windows/bin/$program" "$symbols_folder/$program.debug"
  SOURCE_DATE_EPOCH=0 $target-objcopy --strip-all --add-gnu-debuglink="$symbols_folder/$program.debug" \
    "$windows/bin/$program" "$zip_folder/$program"
  if [ -n "$sign_cert" ]; then
    # Signed at the last commit's time, as every time stamp of the release is: signed again with
    # the same key, the programs are the same bytes.
    sign=(osslsigncode sign -certs "$sign_cert" -key "$sign_key" -h sha256 -n Glyphwarden -time "$epoch")
    [ -z "${GLYPHWARDEN_SIGN_TIMESTAMP:-}" ] || sign+=(-ts "$GLYPHWARDEN_SIGN_TIMESTAMP")
    quietly "build/logs/release-sign-$program.log" "${sign[@]}" -in "$zip_folder/$program" -out "$zip_folder/$program.signed"
    mv "$zip_folder/$program.signed" "$zip_folder/$program"
  fi
done
/usr/bin/python3 tools/pack_zip.py "$out/Glyphwarden-$version-$arch-symbols.zip" "$epoch" "$symbols_folder"

stage "pack Glyphwarden-$version-$arch.zip"
# Windows line ends, for Notepad.
sed "s/@VERSION@/$version/; s/\$/\r/" tools/release/README.txt >"$zip_folder/README.txt"
(cd "$zip_folder" && sha256sum Glyphwarden.exe glyphwarden-cli.exe >SHA256SUMS)
/usr/bin/python3 tools/pack_zip.py "$out/Glyphwarden-$version-$arch.zip" "$epoch" "$zip_folder"

stage "build glyphwarden-cli for Linux"
linux=build/release-linux
# Debian's hardening flags, as its own packages are built: fortified libc calls, stack
# protector, relocations read-only and bound at start (relro, bindnow). Given to CMake as its
# flags, since a build folder that has a cache ignores CFLAGS and LDFLAGS from the environment.
hardening() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
quietly build/logs/release-linux-configure.log cmake -S . -B "$linux" -DCMAKE_BUILD_TYPE=Release -DGLYPHWARDEN_TESTS=OFF \
  -DCMAKE_C_FLAGS="$(hardening CPPFLAGS) $(hardening CFLAGS)" -DCMAKE_CXX_FLAGS="$(hardening CPPFLAGS) $(hardening CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(hardening LDFLAGS)"
quietly build/logs/release-linux-build.log cmake --build "$linux" -j "$(nproc)" --target glyphwarden-cli

stage "pack glyphwarden-cli_${version}_amd64.deb"
# Whoever publishes the package names themselves here, with a real address:
#   GLYPHWARDEN_MAINTAINER='Your Name <you@example.org>' bash tools/release.sh
maintainer=${GLYPHWARDEN_MAINTAINER:-Glyphwarden developers <glyphwarden@example.org>}
root=$linux/deb
doc=$root/usr/share/doc/glyphwarden-cli
rm -rf "$root"
mkdir -p "$root/DEBIAN" "$root/usr/bin" "$doc" "$root/usr/share/man/man1" "$root/usr/share/bash-completion/completions"
install -m 0755 "$linux/bin/glyphwarden-cli" "$root/usr/bin/glyphwarden-cli"
# Stripped as Debian's dh_strip strips a program: no symbols, no compiler's .comment.
strip --remove-section=.comment --remove-section=.note "$root/usr/bin/glyphwarden-cli"
# The manual page is --help and --version, with the longer sections from the include file; its
# date is the last commit's (help2man reads SOURCE_DATE_EPOCH).
# help2man reads a synopsis from "Usage:" and "or:" lines, each on one line: the usage block of
# --help is put in that shape, word for word. It copies the synopsis as it stands, roff and all,
# and there no option may be hyphenated (\%) or broken at its hyphens (\-, a minus sign).
{
  printf "#!/bin/sh\nprogram='%s'\n" "$PWD/$linux/bin/glyphwarden-cli"
  cat <<'SCRIPT'
[ "$1" = --version ] && exec "$program" --version
"$program" --help | awk '
  function unbroken(line,   n, words, i, parts, k, j, word, out) {
    n = split(line, words, " ")
    for (i = 1; i <= n; i++) {
      if (words[i] ~ /^\[?-/) {
        k = split(words[i], parts, "-")
        word = parts[1] "\\%"
        for (j = 2; j <= k; j++) word = word "\\-" parts[j]
        words[i] = word
      }
      out = out (i > 1 ? " " : "") words[i]
    }
    return out
  }
  NR == 1 && sub(/^usage: /, "Usage: ") { line = $0; usage = 1; next }
  usage && /^ +glyphwarden-cli / { print unbroken(line); sub(/^ +/, "or: "); line = $0; next }
  usage && /^ +[-[]/ { sub(/^ +/, " "); line = line $0; next }
  usage { print unbroken(line); usage = 0 }
  { print }'
SCRIPT
} >"$linux/help-for-man"
chmod +x "$linux/help-for-man"
quietly build/logs/release-man.log help2man --no-info --section=1 --name="carry PNG graphics from one device firmware version to another" \
  --include=tools/release/glyphwarden-cli.h2m --output="$linux/glyphwarden-cli.1" "$linux/help-for-man"
# help2man's .TP puts an option's text beside the option when the option is shorter than the
# indent ("--help this text"): a break after each option keeps every text on its own line, as
# for the longer ones. No option name in the text is hyphenated either.
sed -i -e '/^\.TP$/{n;/^\\fB/a .br' -e '}' -e 's/\\fB\\-/\\fB\\%\\-/g' "$linux/glyphwarden-cli.1"
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
(cd "$out" && sha256sum "Glyphwarden-$version-$arch.zip" "glyphwarden-cli_${version}_amd64.deb" >SHA256SUMS)
(cd "$out" && ls -l "Glyphwarden-$version-$arch.zip" "Glyphwarden-$version-$arch-symbols.zip" \
   "glyphwarden-cli_${version}_amd64.deb" | awk '{print "   " $5 " bytes  " $9}')
sed 's/^/   /' "$out/SHA256SUMS"
