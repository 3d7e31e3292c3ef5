# Clients that the helper refuses at connection, beside the signed editor that it serves.
source /opt/tarnel/source/tests/e2e/lib.sh

# Each sealed as clients are installed, so that what refuses them is their signature alone.
unsigned=$(cp /opt/tarnel/build/bin/tarnelctl /tmp/unsigned && seal /tmp/unsigned)

# client NAME IDENTITY IDENTIFIER VERSION: a sealed copy of tarnelctl signed so.
client() { seal "$(signed_copy "$@")"; }

endpoint='21592("/var/run/com.quorvant.TarnelX8Helper")'

expect 0 "$endpoint" tarnelctl --format diagnostic endpoint
expect 0 "$endpoint" "$(client updater team com.quorvant.Update.updater 7.0)" --format diagnostic endpoint
expect 4 "" "$unsigned" --format diagnostic endpoint
expect 4 "" "$(client other-team other-team com.quorvant.TarnelX8 8.0)" --format diagnostic endpoint
expect 4 "" "$(client old team com.quorvant.TarnelX8 6.9)" --format diagnostic endpoint
expect 4 "" "$(client unknown team com.quorvant.TarnelX9 8.0)" --format diagnostic endpoint
expect 4 "" "$(client outside outside com.quorvant.TarnelX8 8.0)" --format diagnostic endpoint
# the daemon is still there for the editor after all of them.
expect 0 "$endpoint" tarnelctl --format diagnostic endpoint

finish
