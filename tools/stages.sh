# Sourced first by every script: strict mode, named stages, and one message on failure that
# says which stage and which command failed, instead of a bare exit status.
#   stage "what comes next"      names the stage and prints it
#   quietly LOG COMMAND...       runs COMMAND with its output in LOG; on failure shows its end
#   on_exit COMMAND              runs COMMAND when the script ends, last registered first
set -Eeuo pipefail

script_name=${0##*/}
current_stage="start-up"
exit_commands=()

stage() {
  current_stage=$1
  echo "== $script_name: $current_stage"
}

quietly() {
  local log=$1 status=0
  shift
  mkdir -p "$(dirname "$log")"
  "$@" >"$log" 2>&1 </dev/null || status=$?
  if [ "$status" -ne 0 ]; then
    echo "$script_name: '$*' exited with $status; the end of its output ($log):" >&2
    tail -n 40 "$log" >&2
  fi
  return "$status"
}

on_exit() { exit_commands=("$1" "${exit_commands[@]}"); }

report_failure() {
  local status=$1 command=$2
  # A command substitution or pipeline fails again in its parent; say it once, there.
  [ "$BASH_SUBSHELL" -eq 0 ] || return 0
  echo "$script_name: FAILED in stage \"$current_stage\": '$command' exited with $status" >&2
}

run_exit_commands() {
  local command
  for command in "${exit_commands[@]}"; do eval "$command" || true; done
}

trap 'report_failure $? "$BASH_COMMAND"' ERR
trap run_exit_commands EXIT
