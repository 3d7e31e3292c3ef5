# Clients that the helper refuses at connection, beside the signed editor that it serves.
source /opt/tarnel/source/tests/e2e/lib.sh

identities=/opt/tarnel/build/test-signing/identity
unsigned=/opt/tarnel/build/bin/tarnelctl
clients=/tmp/clients
mkdir -p "$clients"

# client NAME IDENTITY IDENTIFIER VERSION: a copy of tarnelctl signed so.
client() {
  local copy=$clients/$1
  cp "$unsigned" "$copy"
  cat >"$clients/$1.plist" <<PLIST
<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<dict>
	<key>CFBundleShortVersionString</key>
	<string>$4</string>
</dict>
</plist>
PLIST
  codesign --sign --cert "$identities/$2/certificate.pem" --key "$identities/$2/key.pem" \
    --chain "$identities/$2/chain.pem" --identifier "$3" --info-plist "$clients/$1.plist" \
    "$copy" >/dev/null
  echo "$copy"
}

endpoint='21592("/var/run/com.quorvant.TarnelX8Helper")'

expect 0 "$endpoint" tarnelctl --format diagnostic endpoint
expect 0 "$endpoint" "$(client updater team com.quorvant.Update.updater 7.0)" --format diagnostic endpoint
expect 4 "" "$unsigned" --format diagnostic endpoint
expect 4 "" "$(client other-team other-team com.quorvant.TarnelX8 8.0)" --format diagnostic endpoint
expect 4 "" "$(client old team com.quorvant.TarnelX8 6.9)" --format diagnostic endpoint
expect 4 "" "$(client unknown team com.quorvant.TarnelX9 8.0)" --format diagnostic endpoint
expect 4 "" "$(client outside outside com.quorvant.TarnelX8 8.0)" --format diagnostic endpoint
expect 4 "" env LD_PRELOAD=/usr/lib/x86_64-linux-gnu/libc.so.6 "$(command -v tarnelctl)" --format diagnostic endpoint
# the daemon is still there for the editor after all of them.
expect 0 "$endpoint" tarnelctl --format diagnostic endpoint

finish
