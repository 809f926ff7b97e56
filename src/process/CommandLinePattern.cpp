#include "process/CommandLinePattern.h"

#include <regex>
#include <string>
#include <string_view>

namespace kvx::services::process {

// Options introduced by one or two dashes, a slash or a plus, each with an optional value after a
// blank, "=" or ":", in at most 2048 characters.
bool matchesCommandLinePattern(std::string_view commandLine) {
    static const std::regex pattern(
        R"((?=^.{0,2048}$)^(((^-{1,2}(?!-))|( -{1,2}(?!-))|(^\/)|( \/)|(^\+)|( \+))([A-Za-z0-9-_.]+)([ =:]([A-Za-z0-9-_+.,]+))? ?)*$)",
        std::regex::ECMAScript);
    return std::regex_match(commandLine.begin(), commandLine.end(), pattern);
}

}  // namespace kvx::services::process
