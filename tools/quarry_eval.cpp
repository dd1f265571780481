// quarry-eval: runs the evaluator's main job from the command line: a typed reverse-Polish program,
// given as text, over the rows of a CSV file, printing one `value,state` line per row. See --help.

#include <iostream>
#include <string>
#include <vector>

#include "base/Logging.h"
#include "tools/EvalCommand.h"

int main(int argc, char** argv) {
  vela::configureDefaultLogging();
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int status = quarry::tools::runQuarryEval(args, std::cout, std::cerr);
  std::cout.flush();
  return status;
}
