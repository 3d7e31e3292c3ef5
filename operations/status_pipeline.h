// The job-status pipeline: the shell text that prints the last exit status of each job whose line
// in launchctl's list matches a label.
#pragma once

#include <string>
#include <string_view>

namespace tarnel {

// The tool path, " list | /usr/bin/grep ", the label and " | /usr/bin/awk '{print $2}'", joined.
// An ordinary label (letters, digits, ".", "_" and "-", not beginning with "-") stands as it is.
// Any other label reaches the shell single-quoted (each ' written as '\'') after grep's "-e", so
// that it stays grep's pattern: it never runs as a command and is never read as an option.
std::string statusPipelineText(std::string_view launchctl, std::string_view label);

}  // namespace tarnel
