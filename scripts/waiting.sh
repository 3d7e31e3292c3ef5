# Sourced by the scripts and the end-to-end tests: the one way they wait for something to appear
# or go (a socket, a file, a process), bounded, and loud when the time runs out.

# wait_until SECONDS WHAT COMMAND...: runs COMMAND every 0.05 s until it succeeds; when SECONDS
# pass first, says on stderr what it waited for and ends the script with status 1.
wait_until() {
  local seconds=$1 what=$2 tries
  shift 2
  for ((tries = seconds * 20; tries > 0; tries--)); do
    "$@" && return 0
    sleep 0.05
  done
  echo "gave up after ${seconds} s waiting for $what" >&2
  exit 1
}
