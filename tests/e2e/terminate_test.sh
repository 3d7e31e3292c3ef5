# terminate: the helper takes its own job out of launchd and exits without answering; nothing
# starts it again until its job is loaded again.
source /opt/tarnel/source/tests/e2e/lib.sh

label=com.quorvant.TarnelX8Helper
endpoint='21592("/var/run/com.quorvant.TarnelX8Helper")'

expect 0 "$endpoint" tarnelctl --format diagnostic endpoint
check "the helper's job is loaded" loaded "$label"
expect 3 "" tarnelctl --format diagnostic terminate
check "terminate takes the job out" not_loaded "$label"
# launchd's side closes the socket as soon as launchctl tells it; the request may end first.
wait_until 30 "the helper's socket to go" test ! -e "/var/run/$label"
check "the socket is gone" test ! -e "/var/run/$label"
expect 4 "" tarnelctl --format diagnostic endpoint
check "nothing started the helper" bash -c "! pgrep -xf /Library/PrivilegedHelperTools/$label"

expect 0 "" launchctl load -w "/Library/LaunchDaemons/$label.plist"
expect 0 "$endpoint" tarnelctl --format diagnostic endpoint

finish
