# Sourced by the scripts that show windows: start_virtual_display starts a bare Xvfb on a free
# display, exports DISPLAY and stops the server when the script exits.
start_virtual_display() {
  local number_file
  number_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
  virtual_display_pid=$!
  trap 'kill $virtual_display_pid 2>/dev/null || true' EXIT
  for _ in $(seq 100); do
    [ -s "$number_file" ] && break
    sleep 0.1
  done
  export DISPLAY=:$(tr -d '\n' <"$number_file")
  rm -f "$number_file"
}
