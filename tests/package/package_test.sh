#!/usr/bin/env bash
# package_test.sh SOURCE BUILD: packages the programs already built in BUILD (no build of its
# own) and checks the package: its files, their modes and owners; its maintainer scripts; its
# systemd units, verified with systemd-analyze where the package's /usr lies over the host's (in
# a mount namespace of its own), authorityd's sandboxed; the helper as installed (stripped, its
# embedded property lists kept) and signed, its debugging information in the symbols' package;
# tarnelctl signed as an application that the helper's SMAuthorizedClients accept; the identity's
# root as the anchor; the helper's upgrade on configuration; and lintian's verdict.
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

"$source/scripts/package" --build-dir "$build" --output "$work" >"$work/packages" \
  2>"$work/package.log"
deb=$(tail -n 1 "$work/packages")
dbgsym=$(tail -n 2 "$work/packages" | head -n 1)
if [[ ! -f $deb || ! -f $dbgsym ]]; then
  cat "$work/package.log"
  echo "FAIL: scripts/package made no package"
  exit 1
fi

# Every file with its mode and owner, as dpkg-deb lists the package.
expected=$(
  {
    printf -- '-rw-r--r-- root/root ./%s\n' etc/tarnel/anchors/README \
      etc/tarnel/anchors/maker-root.pem \
      etc/tarnel/authorization/rules/com.quorvant.TarnelX8 \
      etc/tarnel/authorization/rules/tarnel.platform.install-helper \
      lib/systemd/system/tarnel-authorityd.service lib/systemd/system/tarnel-launchd.service \
      usr/share/polkit-1/actions/com.quorvant.TarnelX8.policy \
      usr/share/polkit-1/actions/tarnel.platform.install-helper.policy \
      "usr/share/doc/$package/README.md" "usr/share/doc/$package/copyright" \
      "usr/share/doc/$package/changelog.gz"
    for doc in "$source"/docs/*.md; do
      printf -- '-rw-r--r-- root/root ./usr/share/doc/%s/%s\n' "$package" "$(basename "$doc")"
    done
    for page in "$source"/docs/man/*.scd; do
      page=$(basename "$page" .scd)
      printf -- '-rw-r--r-- root/root ./usr/share/man/man%s/%s.gz\n' "${page##*.}" "$page"
    done
    # tarnelctl is sealed by postinst's statoverride (root, group tarnel, 2755), not in the files.
    printf -- '-rwxr-xr-x root/root ./%s\n' usr/bin/launchctl usr/bin/codesign usr/bin/tarnelctl \
      usr/sbin/authorityd usr/sbin/helperinstall "usr/lib/$package/$helper" \
      "usr/lib/$package/launch-daemons" "usr/lib/$package/upgrade-helper"
  } | sort -k3
)
listed=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | sort -k3)
[[ $listed == "$expected" ]] || fail "the files and modes: $(diff <(echo "$expected") <(echo "$listed"))"
dpkg-deb -c "$deb" | awk '$1 ~ /^d/ && ($1 != "drwxr-xr-x" || $2 != "root/root")' | grep . &&
  fail "a folder that is not root's with mode 0755"

[[ $(dpkg-deb -f "$deb" Package) == "$package" ]] || fail "the package's name"
for dependency in libc6 libssl3 libcbor0.8 libplist3 libutf8proc2 polkitd; do
  dpkg-deb -f "$deb" Depends | grep "\\b$dependency\\b" >/dev/null ||
    fail "no dependency on $dependency"
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

# authorityd's sandbox, as systemd scores it: 5 or below is what the unit promises.
exposure=$(systemd-analyze security --offline=true \
  "$root/lib/systemd/system/tarnel-authorityd.service" 2>&1 |
  sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
awk -v e="$exposure" 'BEGIN { exit !(e != "" && e <= 5.0) }' ||
  fail "authorityd's unit is exposed at ${exposure:-an unknown level}, above 5"

installed=$root/usr/lib/$package/$helper
"$build/bin/codesign" --verify --anchors "$anchors" \
  --requirement "identifier \"$helper\" and info [CFBundleIdentifier] = \"$helper\"" "$installed" ||
  fail "the helper's signature"
sections=$(readelf -S --wide "$installed")
for section in __info_plist __launchd_plist; do
  grep -q " $section " <<<"$sections" || fail "the helper has no $section"
done
grep -qE ' (\.symtab|\.debug_info) ' <<<"$sections" && fail "the helper is not stripped"

# Each program's debugging information is in the symbols' package, under its build id.
symbols=$work/symbols
dpkg-deb -x "$dbgsym" "$symbols"
[[ $(dpkg-deb -f "$dbgsym" Depends) == "$package (= $(dpkg-deb -f "$deb" Version))" ]] ||
  fail "the symbols' package does not depend on this very package"
for program in "$installed" "$root"/usr/bin/* "$root"/usr/sbin/*; do
  id=$(readelf --notes "$program" | awk '/Build ID:/ { print $3 }')
  # readelf complains that a debug file has no program interpreter, as such files have none. Its
  # whole listing is read: a grep that quit at the first match would leave it to die of SIGPIPE,
  # which pipefail takes for a failure.
  readelf -S --wide "$symbols/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug" 2>/dev/null |
    grep -E ' \.(z)?debug_info ' >/dev/null ||
    fail "no debugging information for $(basename "$program")"
done

# The anchor is the root of the identity that signed; what the helper install asks of its
# application, tarnelctl satisfies, under that anchor alone.
cmp -s "$root/etc/tarnel/anchors/maker-root.pem" "$anchors/root.pem" ||
  fail "the anchor is not the signing identity's root"
authorized_clients=$(awk '/<key>SMAuthorizedClients<\/key>/ { found = 1 }
  found && /<string>/ { gsub(/.*<string>|<\/string>.*/, ""); gsub(/&gt;/, ">"); print; exit }' \
  "$source/resources/Info.plist")
"$build/bin/codesign" --verify --anchors "$root/etc/tarnel/anchors" \
  --requirement "$authorized_clients" "$root/usr/bin/tarnelctl" ||
  fail "tarnelctl is not an application that the helper's SMAuthorizedClients accept"

# The helper's upgrade at configuration: `tarnelctl install-helper` (a stand-in that records
# its call) runs only when the installed helper's CFBundleVersion is older than the carried one,
# compared as versions, not as text.
mkdir -p "$work/stand-ins" "$work/upgrade"
printf '#!/bin/sh\necho "$@" >>"%s"\n' "$work/upgrade/calls" >"$work/stand-ins/tarnelctl"
ln -s "$build/bin/codesign" "$work/stand-ins/codesign"
chmod 0755 "$work/stand-ins/tarnelctl"
signed_sample() { # signed_sample VERSION: the sample program signed with that CFBundleVersion
  printf '<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0">\n<dict>\n%s\n%s\n</dict>\n</plist>\n' \
    '<key>CFBundleIdentifier</key><string>com.quorvant.TarnelX8Helper</string>' \
    "<key>CFBundleVersion</key>
<string>$1</string>" >"$work/upgrade/$1.plist"
  cp "$build/test-signing/programs/sample-none" "$work/upgrade/$1"
  "$build/bin/codesign" --sign --cert "$build/test-signing/identity/team/certificate.pem" \
    --key "$build/test-signing/identity/team/key.pem" \
    --chain "$build/test-signing/identity/team/chain.pem" --identifier "$helper" \
    --info-plist "$work/upgrade/$1.plist" "$work/upgrade/$1" >/dev/null
}
for version in 99 423 1000; do signed_sample "$version"; done
for case in "99 install-helper" "423 " "1000 " "missing "; do
  installed_version=${case%% *} expected=${case#* }
  rm -f "$work/upgrade/calls"
  PATH=$work/stand-ins:$PATH sh "$root/usr/lib/$package/upgrade-helper" \
    "$work/upgrade/$installed_version" "$work/upgrade/423" >/dev/null ||
    fail "upgrade-helper failed with the installed helper $installed_version"
  [[ $(cat "$work/upgrade/calls" 2>/dev/null) == "$expected" ]] ||
    fail "with the installed helper $installed_version, tarnelctl was run as" \
      "'$(cat "$work/upgrade/calls" 2>/dev/null)', not '$expected'"
done

# Debian's conventions, as lintian knows them: no error, no warning.
if ! verdict=$(lintian --fail-on error,warning "$deb" "$dbgsym" 2>&1); then
  fail "lintian: $(grep -v 'running with root privileges' <<<"$verdict")"
fi

if ((failures)); then
  echo "$failures check(s) of the package failed"
  exit 1
fi
echo "the package holds what it should, its units verify, its helper and client are signed," \
  "lintian finds nothing"
