#pragma once
// The command line of tbtool: picks the command, checks its arguments and turns failures into
// messages and exit codes (0 success, 1 findings or a failed check, 2 bad usage or unreadable input).
#include <iosfwd>
#include <string>
#include <vector>

namespace tb::tool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFindings = 1;
inline constexpr int kExitUsage = 2;

// args excludes the program name. Never throws.
int RunTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tb::tool
