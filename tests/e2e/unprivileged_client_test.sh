# tarnelctl run by a user who is not root: the helper serves it as the signed editor, so it lends
# root to nobody who has not been authorized.
source /opt/tarnel/source/tests/e2e/lib.sh


job com.quorvant.e2e.unprivileged 'exit 0' >/tmp/unprivileged.plist
chmod 0644 /tmp/unprivileged.plist
target=/Library/LaunchDaemons/com.quorvant.e2e.unprivileged.plist

# What would pass a request unauthorized, or show an authorization to every user, is refused.
expect 2 "" as_nobody tarnelctl --format diagnostic send </dev/null
expect 2 "" as_nobody tarnelctl --format diagnostic save --path "$target" --label com.quorvant.e2e.unprivileged --string-file /tmp/unprivileged.plist \
  --auth-data "$(printf 'ab%.0s' $(seq 32))"
# Every request asks for the right first; polkit wants an administrator, whom nobody cannot call on
# here, so the request is never sent.
expect 1 "" as_nobody tarnelctl --format diagnostic save --path "$target" --label com.quorvant.e2e.unprivileged --string-file /tmp/unprivileged.plist
check "nothing was written for nobody" test ! -e "$target"
# Asking for the endpoint does nothing, and needs no right.
expect 0 '21592("/var/run/com.quorvant.TarnelX8Helper")' as_nobody tarnelctl --format diagnostic endpoint
# root sends as before.
expect 0 "$success" tarnelctl --format diagnostic save --path "$target" --label com.quorvant.e2e.unprivileged --string-file /tmp/unprivileged.plist
check "root's save was written" test -f "$target"

finish
