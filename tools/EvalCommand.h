#pragma once
// The command behind quarry-eval, callable in-process (the tool's main() and the tests use it).

#include <iosfwd>
#include <string>
#include <vector>

namespace quarry::tools {

/// Exit statuses of the command.
enum ExitStatus : int {
  kExitOk = 0,         // the call returned 0 (or only printed something)
  kExitRowsFailed = 1, // the call returned a code of 2 or more; every row was printed
  kExitRefused = 2,    // usage errors, malformed program text, bad data: nothing was evaluated
  kExitEvalFault = 3,  // evaluation threw, or the memory pool was left unbalanced
};

/// Runs the command with `args` (without the program name). Results go to `out`; refusals and errors
/// to `err`. Returns the exit status.
int runQuarryEval(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace quarry::tools
