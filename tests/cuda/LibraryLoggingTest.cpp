// The libraries' loggers in a host: silent without host logging (not even "No appenders"), and
// delivered to an appender the host attached to the root logger.
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <log4cplus/logger.h>
#include <log4cplus/loglevel.h>

#include "TypeManagement/ExactNumericType.h"
#include "base/Logging.h"
#include "base/ProgramBuilder.h"
#include "base/VelaException.h"
#include "cuda/TypedRpnEvaluator.h"
#include "tests/support/CapturingAppender.h"

using namespace vela::cuda;

namespace {

// 7 / 0 through the entry point, then the returned code raised: a row failure logged at 25000.
void divideByZero() {
  using vela::ParserUtils::findOpByName;
  const std::vector<std::int64_t> a = {7}, b = {0};
  vela::ParserUtils::Program p;
  p.column(findOpByName("LOAD_COL_I64")->code, 0)
      .column(findOpByName("LOAD_COL_I64")->code, 1)
      .op(findOpByName("DIV_I64")->code);
  const unsigned char* columns[] = {reinterpret_cast<const unsigned char*>(a.data()),
                                    reinterpret_cast<const unsigned char*>(b.data())};
  std::int64_t value = -1;
  unsigned char null = 0;
  unsigned long size = 0;
  const auto code = evaluateTypedRpnHost(p.elements(), columns, 2, reinterpret_cast<unsigned char*>(&value),
                                         &null, &size, 1, 0, nullptr, nullptr);
  throwIfEvaluationError(code);
}

// A new location every call, so that the once-per-location backtrace prints each time it is asked.
void backtrace() {
  static int call = 0;
  vela::Backtrace::printBacktraceOnce("TEST", ("tests/cuda/LibraryLogging#" + std::to_string(++call)).c_str(),
                                      __LINE__);
}

struct LoggedCase {
  const char* logger;
  int level;
  const char* text; // a part of the logged message
  std::function<void()> raise;
};

const std::vector<LoggedCase> kLogged = {
    {vela::KernelLogger::kName, 25000, "Integer divide-by-zero", divideByZero},
    {vela::KernelLogger::kName, log4cplus::ERROR_LOG_LEVEL, "stack ended with excess values",
     [] { throwIfEvaluationError(RPN_EVAL_STACK_EXCESS); }},
    {vela::Backtrace::kLoggerName, log4cplus::ERROR_LOG_LEVEL, "TEST backtrace at", backtrace},
    {"Type", 25000, "unable to convert string to DECIMAL with unsupported precision/scale",
     [] { vela::ExactNumericType<long>::convert_charN1<true>("1", 1, 19, 0, nullptr); }},
};

void raiseAll() {
  for (const auto& c : kLogged) {
    try {
      c.raise();
    } catch (const vela::VelaException&) {
    }
  }
}

} // namespace

TEST(LibraryLogging, HostWithoutLoggingHearsNothing) {
  // A fresh process: nothing in this binary has configured log4cplus there. The child exits 0 only if
  // the messages were really logged (the level counters moved), so silence is not a skipped log call.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        raiseAll();
        const bool logged = vela::KernelLogger::logLevelCounter(25000) >= 1 &&
                            vela::KernelLogger::logLevelCounter(log4cplus::ERROR_LOG_LEVEL) >= 1;
        std::exit(logged ? 0 : 1);
      },
      testing::ExitedWithCode(0), testing::Matcher<const std::string&>(std::string()));
}

TEST(LibraryLogging, RootAppenderReceivesEveryLibraryLogger) {
  quarry::test::LogCapture capture(log4cplus::Logger::getRoot());
  for (const auto& c : kLogged) {
    const std::size_t before = capture.events().size();
    try {
      c.raise();
    } catch (const vela::VelaException&) {
    }
    const auto events = capture.events();
    ASSERT_EQ(events.size(), before + 1) << c.text;
    EXPECT_EQ(events.back().logger, c.logger);
    EXPECT_EQ(events.back().level, c.level) << c.text;
    EXPECT_NE(events.back().message.find(c.text), std::string::npos) << events.back().message;
  }
}
