#pragma once
// Helpers of the tools' tests: temporary files and running quarry-eval, in-process or as a subprocess.

#include <string>
#include <vector>

namespace quarry::test {

/// Writes `text` to a new file in the test's temporary directory and returns its path.
std::string writeTempFile(const std::string& name, const std::string& text);

/// What one run of the command gave.
struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

/// Runs the command in-process.
ToolRun runInProcess(const std::vector<std::string>& args);
/// Runs the quarry-eval executable with `args` (each passed as one argument).
ToolRun runSubprocess(const std::vector<std::string>& args);

/// The lines of `text` (without their line feeds).
std::vector<std::string> lines(const std::string& text);

} // namespace quarry::test
