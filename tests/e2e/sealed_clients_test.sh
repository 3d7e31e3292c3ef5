# Sealed clients: each local route by which a user would make a signed client speak for them,
# tried as nobody, is first shown to work against an ordinary target, then to fail against the
# sealed tarnelctl (owner root, group tarnel, set-group-id). Judged by exit status: `tarnelctl
# endpoint` exits 0 when served and 4 when refused.
source /opt/tarnel/source/tests/e2e/lib.sh


sealed=$(command -v tarnelctl)
# The ordinary target: the editor signed as the package signs it, but not set-group-id.
unsealed=$(signed_copy unsealed team com.quorvant.TarnelX8 8.0)
marker_library=/opt/tarnel/build/test-signing/programs/libinjected.so
injected_client=/opt/tarnel/build/bin/libtarnel_e2e_injected_client.so
helper_program=/usr/lib/tarnelx8-helper/com.quorvant.TarnelX8Helper

# The seal, read from the kernel: nobody's tarnelctl, served, is held writing its reply into a
# full pipe while its groups and its auxiliary vector's AT_SECURE (entry 23) are read.
exec 4> >(sleep 60)
dd if=/dev/zero of=/dev/fd/4 bs=4096 count=64 oflag=nonblock status=none 2>/dev/null
setpriv --reuid=nobody --regid=nogroup --clear-groups "$sealed" --format diagnostic endpoint >&4 2>/dev/null &
client=$!
client_runs_sealed() { [[ $(readlink "/proc/$client/exe") == "$sealed" ]]; }
wait_until 30 "the sealed tarnelctl to run" client_runs_sealed
egid=$(awk '/^Gid:/ { print $3 }' "/proc/$client/status")
secure=$(od -An -v -tu8 -w16 "/proc/$client/auxv" | awk '$1 == 23 { print $2 }')
kill "$client"
exec 4>&-
tarnel=$(getent group tarnel | cut -d: -f3)
check "nobody's tarnelctl runs in group tarnel" test "$egid" = "$tarnel"
check "nobody's tarnelctl runs with AT_SECURE" test "$secure" = 1

# preload MARKER PROGRAM [ARGUMENT...]: PROGRAM run by nobody with the marker library preloaded,
# which creates MARKER if the loader runs it.
preload() {
  as_nobody env TARNEL_INJECTION_MARKER="$1" LD_PRELOAD="$marker_library" "${@:2}"
}

# The loader: a preloaded library runs inside the unsealed copy, and not inside the sealed
# tarnelctl, whose loader ignores LD_PRELOAD.
preload /tmp/loaded-unsealed "$unsealed" --format diagnostic endpoint >/dev/null 2>&1
check "a preloaded library runs in the unsealed copy" test -e /tmp/loaded-unsealed
preload /tmp/loaded-sealed "$sealed" --format diagnostic endpoint >/dev/null 2>&1
check "...and not in the sealed tarnelctl" test ! -e /tmp/loaded-sealed

# no_new_privs, which a seccomp filter needs, and a user and pid namespace of nobody's own each
# start tarnelctl without its group: refused, where the same tarnelctl started plainly is served.
expect_status 0 as_nobody "$sealed" --format diagnostic endpoint
expect_status 4 as_nobody setpriv --no-new-privs "$sealed" --format diagnostic endpoint
expect_status 4 as_nobody unshare --user --map-root-user --pid --fork "$sealed" --format diagnostic endpoint

# The helper's own program, readable by all and signed with an identifier that the client
# requirement accepts: the loader injects into it when nobody starts it, and the helper refuses
# the client injected so (it closes the connection without its ready frame). That library lies
# in the build, a folder only root writes, and takes LD_PRELOAD out of the environment block: it
# stands in for the attack's library, which moves its code into anonymous memory.
preload /tmp/loaded-helper "$helper_program" >/dev/null 2>&1
check "a preloaded library runs in the helper's program" test -e /tmp/loaded-helper
expect_status 4 as_nobody env LD_PRELOAD="$injected_client" "$helper_program"

finish
