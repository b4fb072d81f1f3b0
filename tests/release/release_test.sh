#!/usr/bin/env bash
# The release as its users get it, sourced by tools/test.sh inside its Wine session (wine_run,
# wine_bin and windows_preset set): built twice from two clones to the same bytes, and once
# signed; the zip unpacked into a new folder with a firmwares folder beside the program, its
# Glyphwarden.exe driven through the sample to "Whew..."; the Debian package unpacked into a
# throwaway root and run on the sample, then installed with apt-get and removed again.
release_test() {
  local version work arch zip deb
  version=$(sed -n 's/^project(Glyphwarden VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
  work=$(mktemp -d)
  on_exit "rm -rf '$work'"
  deb=build/release/glyphwarden-cli_${version}_amd64.deb

  stage "release: build it for publishing, again from another clone (the same bytes), and signed"
  # As whoever publishes it builds it: with a real maintainer address.
  export GLYPHWARDEN_MAINTAINER="Glyphwarden Release Test <release-test@glyphwarden.org>"
  quietly build/logs/release.log bash tools/release.sh
  git clone -q . "$work/clone"
  quietly build/logs/release-clone.log bash "$work/clone/tools/release.sh"
  local file
  for file in release-win32/bin/Glyphwarden.exe release-win32/bin/glyphwarden-cli.exe \
              "release/Glyphwarden-$version-win32.zip" "release/Glyphwarden-$version-win32-symbols.zip" \
              "release/glyphwarden-cli_${version}_amd64.deb" release/SHA256SUMS; do
    cmp "build/$file" "$work/clone/build/$file" || { echo "release_test: $file differs between two builds" >&2; false; }
  done
  (cd build/release && sha256sum --quiet -c SHA256SUMS)
  echo "   both .exe files, the zip, its symbols, the .deb and SHA256SUMS are the same bytes from both clones"
  bash tests/release/signing_test.sh "$work/signing"
  unset GLYPHWARDEN_MAINTAINER

  arch=win32
  if [ "$windows_preset" != windows ]; then
    # This kernel cannot run the 32-bit programs: the zip of the same code as 64-bit programs.
    arch=win64
    quietly build/logs/release-win64.log bash tools/release.sh --win64
  fi
  zip=build/release/Glyphwarden-$version-$arch.zip
  stage "release: Glyphwarden-$version-$arch.zip unpacked and carried through the sample"
  local folder=$work/Glyphwarden
  /usr/bin/python3 -m zipfile -e "$zip" "$folder"
  [ "$(cd "$folder" && ls | tr '\n' ' ')" = "Glyphwarden.exe README.txt SHA256SUMS glyphwarden-cli.exe " ] ||
    { echo "release_test: the zip holds $(ls "$folder")" >&2; false; }
  (cd "$folder" && sha256sum --quiet -c SHA256SUMS)
  quietly build/logs/release-sample.log build/linux/bin/make-sample "$work/sample"
  mv "$work/sample/firmwares" "$folder/firmwares"
  (cd "$folder" && quietly "$work/drive.log" "$wine_run" "$wine_bin/glyphwarden-drive.exe" \
     "$(windows_path "$work/sample/gfx-original")" "$(windows_path "$work/sample/gfx-new")" --program "$(windows_path "$folder/Glyphwarden.exe")")
  tr -d '\r' <"$work/drive.log" | grep -qx "Whew..." || { echo "release_test: the unpacked program did not reach Whew..." >&2; false; }
  local copies expected
  copies=$(ls "$work/sample/gfx-new" | wc -l)
  expected=$(( $(wc -l <"$work/sample/expected-console.txt") - 3 ))
  [ "$copies" -eq "$expected" ] || { echo "release_test: $copies PNGs copied, $expected expected" >&2; false; }
  echo "   the unpacked Glyphwarden.exe copied the sample's $copies PNGs"

  stage "release: Debian's package checker, lintian: no tag, pedantic and informational ones too"
  # Hardening tags (hardening-no-bindnow, -no-fortify-functions) are informational only.
  lintian --pedantic --display-info "$deb" >"$work/lintian.txt" 2>&1 || true
  ! grep -E '^[EWIP]: ' "$work/lintian.txt" || { echo "release_test: lintian found the above" >&2; false; }
  echo "   lintian --pedantic --display-info: no tag"

  stage "release: the Debian package, unpacked and installed"
  dpkg-deb -x "$deb" "$work/root"
  quietly build/logs/release-deb-sample.log bash tests/cli/sample_run_test.sh build/linux/bin/make-sample \
    "$work/root/usr/bin/glyphwarden-cli" "$work/deb-sample"
  quietly build/logs/release-deb-install.log apt-get install -y "./$deb"
  [ "$(glyphwarden-cli --version)" = "glyphwarden-cli $version" ] || { echo "release_test: the installed program's version" >&2; false; }
  man -w glyphwarden-cli | grep -qx /usr/share/man/man1/glyphwarden-cli.1.gz ||
    { echo "release_test: man finds no page for glyphwarden-cli" >&2; false; }
  # At 60 and 80 columns every option of --help (and its argument) has a line of its own, with its
  # text below, and no option is hyphenated or broken at one of its hyphens at a line's end.
  local width page option
  for width in 60 80; do
    page=$(MANWIDTH=$width man glyphwarden-cli 2>/dev/null)
    glyphwarden-cli --help | sed -n 's/^  \(-[^ ]*\(, -[^ ]*\)\{0,1\}\( [A-Z]*\)\{0,1\}\)  .*/\1/p' | while read -r option; do
      grep -qx " *$option" <<<"$page" || { echo "release_test: man at $width columns: no line for '$option'" >&2; false; }
    done
    ! grep -E -- '--[a-z]+(-[a-z]+)*(-|‐)$' <<<"$page" || { echo "release_test: man at $width columns breaks the above" >&2; false; }
  done
  bash tests/release/completion_test.sh "$work/completion"
  quietly build/logs/release-deb-remove.log apt-get remove -y glyphwarden-cli
  [ ! -e /usr/bin/glyphwarden-cli ] || { echo "release_test: /usr/bin/glyphwarden-cli is left after removal" >&2; false; }
  echo "   installed, ran, removed; $(stat -c %s "$zip") bytes of zip, $(stat -c %s "$deb") bytes of .deb"
}
