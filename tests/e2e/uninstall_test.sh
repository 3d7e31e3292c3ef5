# uninstall removes exactly the items named with the maker's prefix from both folders, its own
# executable included, takes its own job out of launchd, then ends without answering: nothing
# starts it again.
source /opt/tarnel/source/tests/e2e/lib.sh

daemons=/Library/LaunchDaemons
tools=/Library/PrivilegedHelperTools
touch "$daemons/com.quorvant.TarnelX8Helper" "$daemons/com.quorvant.Other.plist" \
  "$daemons/com.quorvantX.plist" "$daemons/com.Quorvant.Case.plist" "$daemons/.com.quorvant.hidden" \
  "$daemons/org.example.job.plist" "$tools/com.quorvant.Tool" "$tools/org.example.tool"
mkdir -p "$daemons/com.quorvant.folder/inner" "$daemons/other/com.quorvant.inside"
touch "$daemons/com.quorvant.folder/inner/file"

expect 3 "" tarnelctl --format diagnostic uninstall
check "prefixed items are gone" bash -c "! ls -d $daemons/com.quorvant.* $tools/com.quorvant.* 2>/dev/null"
check "everything else stays" test -e "$daemons/com.quorvantX.plist" -a \
  -e "$daemons/com.Quorvant.Case.plist" -a -e "$daemons/.com.quorvant.hidden" -a \
  -e "$daemons/org.example.job.plist" -a -e "$daemons/other/com.quorvant.inside" -a \
  -e "$tools/org.example.tool"
check "its job is taken out" not_loaded com.quorvant.TarnelX8Helper
wait_until 30 "the helper's socket to go" test ! -e /var/run/com.quorvant.TarnelX8Helper
check "its socket is gone" test ! -e /var/run/com.quorvant.TarnelX8Helper
expect 4 "" tarnelctl --format diagnostic endpoint

finish
