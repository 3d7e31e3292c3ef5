#!/usr/bin/env bash
# The rules between the folders (docs/architecture.md), checked on every #include of the source
# tree: a folder includes only its own headers and those of the folders it may use, and nothing
# above platform/linux/ includes a system, OpenSSL or libcbor header.
#   include_rules_test.sh SOURCE_ROOT
set -uo pipefail
root=${1:?usage: include_rules_test.sh SOURCE_ROOT}
cd "$root" || exit 2

interfaces='platform/[a-z_]+\.h'
posix='platform/linux/posix/'
wire='platform/linux/wire/'
# The one server loop: on posix/ and wire/; used by the helper's transport and by authorityd.
serving='platform/linux/serving/'
# Text handling uses nothing of ours, so every folder may use it.
text='text/'

# Every tool may use the base layer, posix/; beyond it, the subsystem it stands in for.
tool="$posix"

# folder (its files, not its subfolders) | the project headers it may include, as an ERE
rules=(
  "text|$text"
  "model|model/"
  "platform|model/|$interfaces"
  "platform/linux/posix|model/|$interfaces|$posix"
  "platform/linux/wire|model/|$interfaces|$posix|$wire"
  "platform/linux/serving|$posix|$wire|$serving"
  "platform/linux/transport|model/|$interfaces|$posix|$wire|$serving|platform/linux/transport/"
  "platform/linux/authorization|model/|$interfaces|$posix|$wire|platform/linux/authorization/"
  "platform/linux/code_signing|model/|$interfaces|$posix|platform/linux/code_signing/"
  "platform/linux/code_signing/requirement|model/|platform/linux/code_signing/requirement/"
  "platform/linux|model/|$interfaces|platform/linux/"
  "operations|model/|$interfaces|operations/"
  "trust|model/|$interfaces|trust/"
  "service|model/|$interfaces|operations/|trust/|service/"
  "tools/authorityd|$tool|model/|$interfaces|$wire|$serving|platform/linux/authorization/|tools/authorityd/"
  "tools/codesign|$tool|model/|$interfaces|platform/linux/code_signing/|tools/codesign/"
  "tools/helperinstall|$tool|model/|$interfaces|$wire|platform/linux/authorization/|platform/linux/code_signing/|tools/helperinstall/"
  "tools/launchctl|$tool|model/|tools/launchctl/"
  "tools/tarnelctl|$tool|model/|$interfaces|$wire|platform/linux/transport/|platform/linux/authorization/|tools/tarnelctl/"
)
# The one place where the real platform is wired.
exceptions=("service/main.cc:platform/linux/linux_platform.h")

failures=0
fail() {
  echo "$1"
  failures=$((failures + 1))
}

for rule in "${rules[@]}"; do
  folder=${rule%%|*}
  allowed="^($text|${rule#*|})"
  for file in "$folder"/*.cc "$folder"/*.h; do
    [[ -f $file ]] || continue
    while IFS= read -r header; do
      [[ $header =~ $allowed ]] && continue
      [[ " ${exceptions[*]} " == *" $file:$header "* ]] && continue
      fail "$file includes \"$header\", which $folder/ may not use"
    done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
  done
done

# Above platform/linux/, the standard library is all there is, and utf8proc for text/ alone.
for folder in text model operations trust service; do
  while IFS= read -r line; do
    fail "$line: a system or library header above platform/linux/"
  done < <(grep -HnE '^#include <([a-z0-9_]+/|[a-z0-9_]+\.h>)' "$folder"/*.cc "$folder"/*.h |
           grep -v '^text/[^:]*:[0-9]*:#include <utf8proc.h>')
done

# Every folder of the source tree is named by a rule, so that a new one cannot go unchecked.
while IFS= read -r folder; do
  printf '%s\n' "${rules[@]}" | grep -q "^$folder|" || fail "$folder/ has no rule"
done < <(find text model platform operations trust service tools -name '*.cc' -printf '%h\n' | sort -u)

if ((failures)); then
  echo "$failures breaches of the rules between folders"
  exit 1
fi
echo "every include keeps to the rules between folders"
