#!/usr/bin/env bash
# Tab completion of the installed glyphwarden-cli in a real bash, found the way bash-completion
# finds it: an option from its first letters, a folder (and no file) after a DIR option, a file
# after a FILE option; and every option --help lists is completed.
#   completion_test.sh WORK_FOLDER
set -euo pipefail
work=$1
mkdir -p "$work/folder one" "$work/folder two"
touch "$work/folder-notes.txt" "$work/firmware.bin"
complete_words() {  # the completions of the last word of "$@", one per line
  bash --norc --noprofile -c '
    source /usr/share/bash-completion/bash_completion
    _completion_loader glyphwarden-cli
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
    COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _glyphwarden_cli glyphwarden-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf "%s\n" "${COMPREPLY[@]}"' bash "$@"
}
expect() {
  local what=$1 expected=$2 got
  shift 2
  got=$(complete_words "$@" | LC_ALL=C sort | tr '\n' '|')
  [ "$got" = "$expected" ] || { echo "completion_test: $what: expected '$expected', got '$got'" >&2; exit 1; }
}
expect "an option" "--original-firmware|--original-gfx|" glyphwarden-cli --orig
expect "folders after --new-gfx" "$work/folder one|$work/folder two|" glyphwarden-cli --new-gfx "$work/fol"
expect "files after --json" "$work/firmware.bin|" glyphwarden-cli --json "$work/fir"
listed=$(glyphwarden-cli --help | grep -oE '^  --[a-z-]+' | LC_ALL=C sort | tr -d ' ' | tr '\n' '|')
expect "every option of --help" "$listed" glyphwarden-cli --
echo "completion: an option, a folder, a file and every option of --help complete"
