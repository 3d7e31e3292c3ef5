# Each kind of request, and its real effect on files, ownership and launchd's jobs.
source /opt/tarnel/source/tests/e2e/lib.sh

daemons=/Library/LaunchDaemons
mkdir -p /tmp/jobs

# save: the text lands as it was sent, and no job is loaded.
job com.example.saved 'echo saved' >/tmp/jobs/saved.plist
expect 0 "$success" tarnelctl --format diagnostic save --path "$daemons/com.example.saved.plist" \
  --label com.example.saved --string-file /tmp/jobs/saved.plist
check "save writes the text unchanged" cmp -s /tmp/jobs/saved.plist "$daemons/com.example.saved.plist"
check "save loads nothing" not_loaded com.example.saved

# load of the saved file: launchd has the job, which ran at load.
expect 0 "$success" tarnelctl --format diagnostic load --path "$daemons/com.example.saved.plist"
check "load registers the job" loaded com.example.saved

# saveLoad, privileged: written with group wheel (0) and loaded; its job ran.
job com.example.loaded 'echo ran at load' /tmp/jobs/loaded.out >/tmp/jobs/loaded.plist
expect 0 "$success" tarnelctl --format diagnostic saveLoad --privileged --path "$daemons/com.example.loaded.plist" \
  --label com.example.loaded --string-file /tmp/jobs/loaded.plist
check "saveLoad gives owner root and group 0" \
  test "$(stat -c %u:%g "$daemons/com.example.loaded.plist")" = 0:0
check "saveLoad loads the job" loaded com.example.loaded
wait_until 30 "the loaded job's output" test -s /tmp/jobs/loaded.out
check "the loaded job ran" grep -qx 'ran at load' /tmp/jobs/loaded.out

# saving over a loaded job unloads it first, then loads the new text.
job com.example.loaded 'echo ran again' /tmp/jobs/loaded.out >/tmp/jobs/loaded2.plist
expect 0 "$success" tarnelctl --format diagnostic saveLoad --path "$daemons/com.example.loaded.plist" \
  --label com.example.loaded --string-file /tmp/jobs/loaded2.plist
check "saveLoad over a loaded job replaces it" loaded com.example.loaded

# a load that launchctl refuses answers loadFailed.
expect 0 "$(code 6)" tarnelctl --format diagnostic load --path /tmp/jobs/missing.plist

# remove by label: the job is forgotten; its file stays.
saved=$daemons/com.example.saved.plist
expect 0 "$success" tarnelctl --format diagnostic remove --path /tmp/jobs/none.plist --label com.example.saved
check "remove forgets the job" not_loaded com.example.saved
check "remove keeps the file" test -f "$saved"
# remove by file: the job in it is unloaded.
expect 0 "$success" tarnelctl --format diagnostic load --path "$saved"
expect 0 "$success" tarnelctl --format diagnostic remove --path "$saved" --label ''
check "remove unloads the job in the file" not_loaded com.example.saved
# both at once: the unload takes the job, so launchd no longer knows the label: removeFailed.
expect 0 "$success" tarnelctl --format diagnostic load --path "$saved"
expect 0 "$(code 5)" tarnelctl --format diagnostic remove --path "$saved" --label com.example.saved
check "the job is gone all the same" not_loaded com.example.saved

# delete: unloaded, forgotten, and the file gone.
expect 0 "$success" tarnelctl --format diagnostic delete --delete-path "$daemons/com.example.loaded.plist" \
  --label com.example.loaded
check "delete forgets the job" not_loaded com.example.loaded
check "delete removes the file" test ! -e "$daemons/com.example.loaded.plist"
# deleting what is not there answers the platform's error for a missing file.
expect 0 '{0: {"domain": "NSCocoaErrorDomain", "code": 4' bash -c \
  "tarnelctl --format diagnostic delete --delete-path /tmp/jobs/none.plist --label '' | grep -o '^{0: {\"domain\": \"NSCocoaErrorDomain\", \"code\": 4'"

# test of a job that prints a line: the report is its output, and both files are gone.
job com.example.hello 'echo Hello from a test run' /tmp/jobs/hello.out >/tmp/jobs/hello.plist
expect 0 '{1: "Hello from a test run\n"}' tarnelctl --format diagnostic test --test-path /tmp/jobs/hello-job.plist \
  --test-output-path /tmp/jobs/hello.out --label com.example.hello \
  --string-file /tmp/jobs/hello.plist
check "test deletes the job file" test ! -e /tmp/jobs/hello-job.plist
check "test deletes the output file" test ! -e /tmp/jobs/hello.out

# test of a job that fails: the report says why (launchctl's line for the status), a line break,
# then what it printed.
job com.example.failing 'echo about to fail; exit 78' /tmp/jobs/failing.out >/tmp/jobs/failing.plist
expect 0 '{1: "78: Configuration error\n\nabout to fail\n"}' tarnelctl --format diagnostic test \
  --test-path /tmp/jobs/failing-job.plist --test-output-path /tmp/jobs/failing.out \
  --label com.example.failing --string-file /tmp/jobs/failing.plist

# a test run whose label begins another loaded job's label (com.example.failing, which exited 78)
# reports its own status alone.
job com.example.fail 'echo its own run' /tmp/jobs/fail.out >/tmp/jobs/fail.plist
expect 0 '{1: "its own run\n"}' tarnelctl --format diagnostic test --test-path /tmp/jobs/fail-job.plist \
  --test-output-path /tmp/jobs/fail.out --label com.example.fail --string-file /tmp/jobs/fail.plist

# a job that names a program of the merged /bin loads and runs, until it is taken out.
program_job com.example.sleeper /bin/sleep 1000 >/tmp/jobs/sleeper.plist
expect 0 "$success" tarnelctl --format diagnostic saveLoad --path "$daemons/com.example.sleeper.plist" \
  --label com.example.sleeper --string-file /tmp/jobs/sleeper.plist
check "the job runs" running com.example.sleeper
check "its program is sleep" pgrep -x sleep
expect 0 "$success" tarnelctl --format diagnostic remove --path /tmp/jobs/none.plist --label com.example.sleeper
check "the job is stopped" bash -c "! pgrep -x sleep"

# a job whose program does not exist loads all the same, as launchd keeps it; a test run of it
# reports the status that says so, 78.
program_job com.example.missing /nonexistent/program >/tmp/jobs/missing-program.plist
expect 0 '{1: "78: Configuration error\n"}' tarnelctl --format diagnostic test \
  --test-path /tmp/jobs/missing-job.plist --test-output-path /tmp/jobs/missing.out \
  --label com.example.missing --string-file /tmp/jobs/missing-program.plist
check "the job is loaded" loaded com.example.missing

# test at a symbolic link: refused, and nothing written through the link.
echo original >/tmp/jobs/target
ln -s /tmp/jobs/target /tmp/jobs/link.plist
expect 0 "$(code 8)" tarnelctl --format diagnostic test --test-path /tmp/jobs/link.plist \
  --test-output-path /tmp/jobs/link.out --label com.example.link --string-file /tmp/jobs/hello.plist
check "nothing is written through the link" grep -qx original /tmp/jobs/target

# a payload missing its keys answers missingPayload.
expect 0 "$(code 4)" tarnelctl --format diagnostic load

finish
