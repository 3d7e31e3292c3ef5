# What every end-to-end script shares: expectations that count failures, and the jobs they use.
# Sourced inside the sandbox.
set -uo pipefail

scripts=/opt/tarnel/source/scripts
source "$scripts/waiting.sh"
failures=0

# expect STATUS OUTPUT COMMAND...: COMMAND exits with STATUS and prints exactly OUTPUT.
expect() { expectation judged "$@"; }
# expect_status STATUS COMMAND...: COMMAND exits with STATUS, whatever it prints.
expect_status() { expectation ignored "$1" "" "${@:2}"; }

# expectation judged|ignored STATUS OUTPUT COMMAND...: the two above, OUTPUT judged or ignored.
expectation() {
  local output_is=$1 want_status=$2 want_output=$3
  shift 3
  local output="" status=0
  if [[ $output_is == judged ]]; then
    output=$("$@" 2>/tmp/expect.stderr) || status=$?
  else
    "$@" >/dev/null 2>/tmp/expect.stderr || status=$?
  fi
  if [[ $status != "$want_status" || $output != "$want_output" ]]; then
    echo "FAIL: $*"
    echo "  status $status, wanted $want_status"
    if [[ $output_is == judged ]]; then
      echo "  output [$output]"
      echo "  wanted [$want_output]"
    fi
    sed 's/^/  stderr: /' /tmp/expect.stderr
    failures=$((failures + 1))
  else
    echo "ok: $*"
  fi
}

# check DESCRIPTION COMMAND...: COMMAND succeeds.
check() {
  local description=$1
  shift
  if "$@"; then
    echo "ok: $description"
  else
    echo "FAIL: $description"
    failures=$((failures + 1))
  fi
}

# as_nobody COMMAND...: COMMAND run by user nobody.
as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; }

loaded() { launchctl list | awk -v label="$1" '$3 == label { found = 1 } END { exit !found }'; }
running() {
  launchctl list | awk -v label="$1" '$3 == label && $1 != "-" { found = 1 } END { exit !found }'
}
# A function, not `bash -c '! loaded ...'`: a new shell has no `loaded`, and would pass the check.
not_loaded() { ! loaded "$1"; }

# job LABEL SCRIPT [OUTPUT]: a job property list that runs SCRIPT with /bin/sh at load.
job() { "$scripts/job-plist" --output "${3:-/dev/null}" "$1" /bin/sh -c "$2"; }

# program_job LABEL PROGRAM [ARGUMENT...]: a job property list that runs PROGRAM itself at load.
program_job() { "$scripts/job-plist" "$@"; }

# signed_copy NAME IDENTITY IDENTIFIER VERSION: prints the path of a copy of the unsigned tarnelctl
# in /tmp/clients signed with the test identity IDENTITY as IDENTIFIER at VERSION; not sealed.
signed_copy() {
  local clients=/tmp/clients identities=/opt/tarnel/build/test-signing/identity
  local copy=$clients/$1
  mkdir -p "$clients"
  cp /opt/tarnel/build/bin/tarnelctl "$copy"
  "$scripts/info-plist" "" "$4" >"$copy.plist"
  codesign --sign --cert "$identities/$2/certificate.pem" --key "$identities/$2/key.pem" \
    --chain "$identities/$2/chain.pem" --identifier "$3" --info-plist "$copy.plist" \
    "$copy" >/dev/null
  echo "$copy"
}

# seal FILE: installs FILE as every client is installed (owner root, group tarnel, set-group-id),
# so that the kernel starts it with secure execution; prints its path.
seal() {
  chown root:tarnel "$1"
  chmod 2755 "$1"
  echo "$1"
}

success='{2: ""}'
code() { echo "{0: {\"domain\": \"com.quorvant.xpc.error.domain\", \"code\": $1}}"; }

finish() {
  if ((failures)); then
    echo "$failures expectation(s) failed"
    for log in /var/log/*.log; do sed "s|^|$(basename "$log"): |" "$log"; done
    exit 1
  fi
}
