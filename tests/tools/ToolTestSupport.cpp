#include "ToolTestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "tools/EvalCommand.h"

namespace quarry::test {

namespace {
// ctest runs tests as parallel processes sharing one temporary directory: names carry the process id.
std::string tempPath(const std::string& name) {
  return testing::TempDir() + "quarry_tools_" + std::to_string(getpid()) + "_" + name;
}

// The files a test process wrote, removed when it exits.
struct TempFiles {
  std::vector<std::string> paths;
  ~TempFiles() {
    for (const std::string& p : paths)
      std::remove(p.c_str());
  }
};
TempFiles& tempFiles() {
  static TempFiles files;
  return files;
}
} // namespace

std::string writeTempFile(const std::string& name, const std::string& text) {
  const std::string path = tempPath(name);
  std::ofstream(path, std::ios::binary) << text;
  tempFiles().paths.push_back(path);
  return path;
}

ToolRun runInProcess(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  ToolRun r;
  r.status = quarry::tools::runQuarryEval(args, out, err);
  r.out = out.str();
  r.err = err.str();
  return r;
}

namespace {
std::string shellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}
std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
} // namespace

ToolRun runSubprocess(const std::vector<std::string>& args) {
  const std::string outPath = tempPath("stdout");
  const std::string errPath = tempPath("stderr");
  std::string command = shellQuote(QUARRY_EVAL_PATH);
  for (const std::string& a : args)
    command += ' ' + shellQuote(a);
  command += " </dev/null >" + shellQuote(outPath) + " 2>" + shellQuote(errPath);
  const int raw = std::system(command.c_str());
  ToolRun r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + (WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
  r.out = slurp(outPath);
  r.err = slurp(errPath);
  std::remove(outPath.c_str());
  std::remove(errPath.c_str());
  return r;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    out.push_back(line);
  return out;
}

} // namespace quarry::test
