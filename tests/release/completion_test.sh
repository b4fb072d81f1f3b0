#!/usr/bin/env bash
# Tab completion of the installed glyphwarden-cli in a real bash, found the way bash-completion
# finds it: an option from its first letters, a folder (and no file) after a DIR option, a file
# after a FILE option, the same after "--option=", and every option --help lists is completed.
#   completion_test.sh WORK_FOLDER
set -euo pipefail
work=$1
mkdir -p "$work/folder one" "$work/folder two"
touch "$work/folder-notes.txt" "$work/firmware.bin"
complete_words() {  # the completions of the end of the command line $1, typed in $work, one per line
  bash --norc --noprofile -c '
    source /usr/share/bash-completion/bash_completion
    _completion_loader glyphwarden-cli
    cd "$1"
    COMP_LINE=$2; COMP_POINT=${#COMP_LINE}
    read -ra COMP_WORDS <<<"${COMP_LINE//=/ = }"  # as bash splits it: "=" is a word of its own
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _glyphwarden_cli glyphwarden-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf "%s\n" "${COMPREPLY[@]}"' bash "$work" "$1" </dev/null
}
listed=$(glyphwarden-cli --help | grep -oE '^  --[a-z-]+' | LC_ALL=C sort | tr -d ' ' | tr '\n' '|')
failures=0
while IFS=';' read -r what line expected; do
  got=$(complete_words "$line" | LC_ALL=C sort | tr '\n' '|')
  [ "$got" = "$expected" ] || { echo "completion_test: $what: expected '$expected', got '$got'" >&2; failures=$((failures + 1)); }
done <<TABLE
an option;glyphwarden-cli --orig;--original-firmware|--original-gfx|
the short help;glyphwarden-cli -h;-h|
every option of --help;glyphwarden-cli --;$listed
folders after --new-gfx;glyphwarden-cli --new-gfx $work/fol;$work/folder one|$work/folder two|
folders after --new-gfx=;glyphwarden-cli --new-gfx=$work/fol;$work/folder one|$work/folder two|
folders after a bare --original-gfx=;glyphwarden-cli --original-gfx=;folder one|folder two|
files after --json;glyphwarden-cli --json $work/fir;$work/firmware.bin|
files after --undo=;glyphwarden-cli --undo=$work/fir;$work/firmware.bin|
nothing after --dry-run=;glyphwarden-cli --dry-run=;|
thread counts after --threads=;glyphwarden-cli --threads=;1|2|3|4|5|6|7|8|
TABLE
[ "$failures" -eq 0 ] || exit 1
echo "completion: options, -h, folders and files after an option and after its \"=\" complete"
