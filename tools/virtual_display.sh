# Sourced by tools/wine_session.sh: start_virtual_display starts a bare Xvfb on a free display,
# exports DISPLAY and stops the server when the script ends.
start_virtual_display() {
  local number_file
  number_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
  local pid=$!
  on_exit "kill $pid 2>/dev/null"
  for _ in $(seq 100); do
    [ -s "$number_file" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -s "$number_file" ]; then
    rm -f "$number_file"
    echo "$script_name: Xvfb did not start a display" >&2
    return 1
  fi
  export DISPLAY=:$(tr -d '\n' <"$number_file")
  rm -f "$number_file"
}
