#!/usr/bin/env bash
# package_test.sh SOURCE BUILD: packages the programs already built in BUILD (no build of its
# own) and checks the package: its files, their modes and owners; its maintainer scripts; its
# systemd units, verified with systemd-analyze where the package's /usr lies over the host's (in
# a mount namespace of its own); the helper as installed (stripped, debug-linked, its embedded
# property lists kept) and signed; tarnelctl signed as the editor.
set -uo pipefail
source=${1:?usage: package_test.sh SOURCE BUILD}
build=${2:?usage: package_test.sh SOURCE BUILD}
package=tarnelx8-helper
helper=com.quorvant.TarnelX8Helper
anchors=$build/test-signing/identity/anchors

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

deb=$("$source/scripts/package" --build-dir "$build" --output "$work" 2>"$work/package.log" |
  tail -n 1)
if [[ ! -f $deb ]]; then
  cat "$work/package.log"
  echo "FAIL: scripts/package made no package"
  exit 1
fi

# Every file with its mode and owner, as dpkg-deb lists the package.
expected=$(
  {
    printf -- '-rw-r--r-- root/root ./%s\n' etc/tarnel/anchors/README \
      etc/tarnel/authorization/rules/com.quorvant.TarnelX8 \
      etc/tarnel/authorization/rules/tarnel.platform.install-helper \
      lib/systemd/system/tarnel-authorityd.service lib/systemd/system/tarnel-launchd.service \
      "usr/lib/debug/Library/PrivilegedHelperTools/$helper.debug" \
      usr/share/polkit-1/actions/com.quorvant.TarnelX8.policy \
      usr/share/polkit-1/actions/tarnel.platform.install-helper.policy \
      "usr/share/doc/$package/README.md"
    for doc in "$source"/docs/*.md; do
      printf -- '-rw-r--r-- root/root ./usr/share/doc/%s/%s\n' "$package" "$(basename "$doc")"
    done
    # The signed client is execute-only, so that the kernel starts it non-dumpable.
    printf -- '-rwx--x--x root/root ./%s\n' usr/bin/tarnelctl
    printf -- '-rwxr-xr-x root/root ./%s\n' usr/bin/launchctl usr/bin/codesign \
      usr/sbin/authorityd usr/sbin/helperinstall "usr/lib/$package/$helper" \
      "usr/lib/$package/launch-daemons"
  } | sort -k3
)
listed=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | sort -k3)
[[ $listed == "$expected" ]] || fail "the files and modes: $(diff <(echo "$expected") <(echo "$listed"))"
dpkg-deb -c "$deb" | awk '$1 ~ /^d/ && ($1 != "drwxr-xr-x" || $2 != "root/root")' | grep . &&
  fail "a folder that is not root's with mode 0755"

[[ $(dpkg-deb -f "$deb" Package) == "$package" ]] || fail "the package's name"
for dependency in libc6 libssl3 libcbor0.8 libplist3 libutf8proc2 polkitd; do
  dpkg-deb -f "$deb" Depends | grep -q "\\b$dependency\\b" || fail "no dependency on $dependency"
done
dpkg-deb -e "$deb" "$work/control"
for script in postinst prerm postrm; do
  [[ -x $work/control/$script ]] || fail "$script is not there or not executable"
  sh -n "$work/control/$script" || fail "$script is not shell"
done
[[ $(cat "$work/control/conffiles") == "$(dpkg-deb -c "$deb" | awk '{ print substr($6, 2) }' |
  grep '^/etc/.*[^/]$' | sort)" ]] || fail "conffiles is not every file of /etc"

root=$work/root
dpkg-deb -x "$deb" "$root"
if ! verified=$(unshare --mount --propagation private sh -c \
  'mount -t overlay overlay -o "lowerdir=$1/usr:/usr" /usr &&
   systemd-analyze verify "$1"/lib/systemd/system/*.service 2>&1' sh "$root"); then
  fail "systemd-analyze verify: $verified"
elif [[ -n $verified ]]; then
  fail "systemd-analyze verify has something to say: $verified"
fi

installed=$root/usr/lib/$package/$helper
"$build/bin/codesign" --verify --anchors "$anchors" \
  --requirement "identifier \"$helper\" and info [CFBundleIdentifier] = \"$helper\"" "$installed" ||
  fail "the helper's signature"
sections=$(readelf -S --wide "$installed")
for section in __info_plist __launchd_plist .gnu_debuglink; do
  grep -q " $section " <<<"$sections" || fail "the helper has no $section"
done
grep -qE ' (\.symtab|\.debug_info) ' <<<"$sections" && fail "the helper is not stripped"
readelf --string-dump=.gnu_debuglink "$installed" | grep -q "$helper.debug" ||
  fail "the debug link does not name $helper.debug"
# readelf complains that the debug file has no program interpreter, as such files have none.
debug_sections=$(readelf -S --wide "$root/usr/lib/debug/Library/PrivilegedHelperTools/$helper.debug" \
  2>/dev/null)
grep -q ' .debug_info ' <<<"$debug_sections" || fail "the debug file holds no debugging information"
"$build/bin/codesign" --verify --anchors "$anchors" --requirement \
  'identifier "com.quorvant.TarnelX8" and info [CFBundleShortVersionString] >= "8.0"' \
  "$root/usr/bin/tarnelctl" || fail "tarnelctl is not signed as the editor"

if ((failures)); then
  echo "$failures check(s) of the package failed"
  exit 1
fi
echo "the package holds what it should, its units verify, its helper and client are signed"
