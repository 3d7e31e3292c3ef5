# Privileged requests with a real, a forged and a missing authorization, and requests that do not
# decode.
source /opt/tarnel/source/tests/e2e/lib.sh

helper=/Library/PrivilegedHelperTools/com.quorvant.TarnelX8Helper
helper_pid() { pgrep -xf "$helper" || true; }
# A helper that refused an authorization ends right after answering; a client that connects in
# that moment meets the ending helper, so each such request is followed by waiting for it to go.
helper_gone() { [[ -z $(helper_pid) ]]; }
await_exit() { wait_until 30 "the helper to exit" helper_gone; }

job com.example.privileged 'true' >/tmp/privileged.plist
expect 0 "$success" tarnelctl --format diagnostic save --privileged --path /Library/LaunchDaemons/p.plist \
  --label com.example.privileged --string-file /tmp/privileged.plist
check "a real authorization gets the job written" test -f /Library/LaunchDaemons/p.plist
before=$(helper_pid)

# a forged form: refused, nothing done, and the helper ends after answering.
forged=$(printf '%064d' 0)
expect 0 "$(code 2)" tarnelctl --format diagnostic delete --privileged --auth-data "$forged" \
  --delete-path /Library/LaunchDaemons/p.plist --label ''
check "a forged form deletes nothing" test -f /Library/LaunchDaemons/p.plist
await_exit
check "the helper ended after refusing" test "$(helper_pid)" != "$before"

# no authorization data at all, and data of the wrong length: both refused.
# {7: {"privileged": true, "presentError": true}}
expect 0 "$(code 2)" bash -c \
  "printf '\xa1\x07\xa2\x6aprivileged\xf5\x6cpresentError\xf5' | tarnelctl --format diagnostic send"
await_exit
expect 0 "$(code 2)" tarnelctl --format diagnostic terminate --privileged --auth-data 00ff
await_exit

# the next request starts the helper again.
expect 0 '21592("/var/run/com.quorvant.TarnelX8Helper")' tarnelctl --format diagnostic endpoint

# requests that do not decode: answered invalidRequest, nothing done.
# {9: {"privileged": false, "presentError": true}}
expect 0 "$(code 1)" bash -c \
  "printf '\xa1\x09\xa2\x6aprivileged\xf4\x6cpresentError\xf5' | tarnelctl --format diagnostic send"
# {3: "load"}
expect 0 "$(code 1)" bash -c "printf '\xa1\x03\x64load' | tarnelctl --format diagnostic send"
# a request that is not even well-formed CBOR invalidates the connection: it ends unanswered.
expect 3 "" bash -c "printf '\xa1\x03' | tarnelctl --format diagnostic send"

finish
