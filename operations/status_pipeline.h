// The job-status pipeline: the shell text that prints the last exit status of the job whose line
// in launchctl's list carries a label.
#pragma once

#include <string>
#include <string_view>

namespace tarnel {

// The tool path, " list | /usr/bin/grep -E -e ", the label's pattern and
// " | /usr/bin/awk '{print $2}'", joined. The pattern matches a whole list line whose label field
// is exactly `label`: "^(-|[0-9]+)<TAB>-?[0-9]+<TAB>" and the label with every character that
// extended expressions give a meaning (. [ \ ( ) * + ? { | ^ $) behind a backslash, then "$".
// A control character, which no label that launchctl lists holds, is written "$^", which matches
// nowhere. The pattern reaches the shell single-quoted, each ' written as '\''.
std::string statusPipelineText(std::string_view launchctl, std::string_view label);

}  // namespace tarnel
