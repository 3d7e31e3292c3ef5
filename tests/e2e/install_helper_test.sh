# tarnelctl install-helper: what the editor does when its helper is missing or older than the one
# it carries, and leaves alone when it is current.
source /opt/tarnel/source/tests/e2e/lib.sh

helper=com.quorvant.TarnelX8Helper
installed=/Library/PrivilegedHelperTools/$helper
job=/Library/LaunchDaemons/$helper.plist
version=$(codesign --display "/usr/lib/tarnelx8-helper/$helper" |
  awk '/<key>CFBundleVersion<\/key>/ { found = 1; next } found { gsub(/.*<string>|<\/string>.*/, ""); print; exit }')
endpoint='21592("/var/run/com.quorvant.TarnelX8Helper")'

# The sandbox installed the helper at start: as new as the one carried, it is left as it is.
before=$(stat -c %i.%Y "$installed")
expect 0 "the helper installed at $installed is version $version, the one carried: nothing to do" \
  tarnelctl install-helper
expect 0 "{\"outcome\":\"current\",\"installed\":\"$version\",\"carried\":\"$version\"}" \
  tarnelctl --format json install-helper
check "the installed helper is untouched" test "$(stat -c %i.%Y "$installed")" = "$before"

# One whose version cannot be read is replaced, and serves.
launchctl remove "$helper"
printf 'not a helper\n' >"$installed"
expect 0 "installed the helper version $version at $installed (the installed one's version could not be read)" \
  tarnelctl install-helper
check "the installed helper is the one carried" cmp -s "$installed" "/usr/lib/tarnelx8-helper/$helper"
expect 0 "$endpoint" tarnelctl --format diagnostic endpoint

# A missing one is installed.
launchctl remove "$helper"
rm -f "$installed" "$job"
expect 4 "" tarnelctl --format diagnostic endpoint
expect 0 "installed the helper version $version at $installed (none was installed)" \
  tarnelctl install-helper
expect 0 "$endpoint" tarnelctl --format diagnostic endpoint

finish
