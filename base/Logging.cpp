#include "base/Logging.h"

#include <array>
#include <atomic>
#include <execinfo.h>
#include <mutex>
#include <set>
#include <sstream>
#include <utility>

#include <log4cplus/consoleappender.h>
#include <log4cplus/layout.h>
#include <log4cplus/loggingmacros.h>
#include <log4cplus/nullappender.h>

namespace vela {

int getLogErrorCodeFrom_FILE(std::string_view sourcePath) {
  std::uint32_t h = 2166136261u;
  for (unsigned char c : sourcePath) {
    h ^= c;
    h *= 16777619u;
  }
  return static_cast<int>(h % 1000000u);
}

std::string locationSuffix(std::string_view sourcePath, int line) {
  return " (" + std::to_string(getLogErrorCodeFrom_FILE(sourcePath)) + ":" + std::to_string(line) + ")";
}

namespace {
// log4cplus levels run from 0 (TRACE) to 60000 (OFF); a counter per thousand covers every level used.
constexpr int kLevelBuckets = 61;
std::array<std::atomic<std::uint64_t>, kLevelBuckets> g_levelCounters{};

int levelBucket(int level) {
  if (level < 0)
    return 0;
  return level / 1000 < kLevelBuckets ? level / 1000 : kLevelBuckets - 1;
}

std::atomic<bool> g_errorBacktrace{false};

// log4cplus prints its "No appenders" line the first time a logger with no appender anywhere up its
// hierarchy logs; a dropping appender on each library logger keeps a host that set up no logging silent.
// Attached when the base library is loaded (log4cplus, a dependency, is initialised by then), before any
// of these loggers can log. Idempotent by name.
[[maybe_unused]] const bool g_libraryLoggersSilenced = [] {
  for (const char* name : kLibraryLoggerNames) {
    log4cplus::Logger logger = log4cplus::Logger::getInstance(LOG4CPLUS_TEXT(name));
    if (logger.getAppender(LOG4CPLUS_TEXT(kSilentAppenderName)))
      continue;
    log4cplus::SharedAppenderPtr silent(new log4cplus::NullAppender);
    silent->setName(LOG4CPLUS_TEXT(kSilentAppenderName));
    logger.addAppender(silent);
  }
  return true;
}();
} // namespace

log4cplus::Logger& KernelLogger::logger() {
  static log4cplus::Logger instance = log4cplus::Logger::getInstance(LOG4CPLUS_TEXT(kName));
  return instance;
}

bool KernelLogger::isEnabledFor(int level) {
  return logger().isEnabledFor(level);
}

void KernelLogger::incrementLogLevelCounter(int level) {
  g_levelCounters[levelBucket(level)].fetch_add(1, std::memory_order_relaxed);
}

std::uint64_t KernelLogger::logLevelCounter(int level) {
  return g_levelCounters[levelBucket(level)].load(std::memory_order_relaxed);
}

void KernelLogger::resetLogLevelCounters() {
  for (auto& c : g_levelCounters)
    c.store(0, std::memory_order_relaxed);
}

void KernelLogger::forcedLog(int level, const std::string& message, const char* file, int line,
                             const char* function) {
  logger().forcedLog(level, LOG4CPLUS_STRING_TO_TSTRING(message), file, line, function);
}

void configureDefaultLogging(int rootLevel) {
  static std::mutex m;
  std::lock_guard lock(m);
  log4cplus::Logger root = log4cplus::Logger::getRoot();
  if (!root.getAllAppenders().empty())
    return;
  log4cplus::SharedAppenderPtr console(new log4cplus::ConsoleAppender(true /* stderr */));
  console->setLayout(std::make_unique<log4cplus::PatternLayout>(LOG4CPLUS_TEXT("%p %c - %m%n")));
  root.addAppender(console);
  root.setLogLevel(rootLevel);
}

void setErrorBacktraceEnabled(bool on) {
  g_errorBacktrace.store(on, std::memory_order_relaxed);
}
bool isErrorBacktraceEnabled() {
  return g_errorBacktrace.load(std::memory_order_relaxed);
}

log4cplus::Logger& Backtrace::logger() {
  static log4cplus::Logger instance = log4cplus::Logger::getInstance(LOG4CPLUS_TEXT(kLoggerName));
  return instance;
}

bool Backtrace::printBacktraceOnce(const char* tag, const char* file, int line) {
  static std::mutex m;
  static std::set<std::pair<std::string, int>> printed;
  {
    std::lock_guard lock(m);
    if (!printed.emplace(file ? file : "", line).second)
      return false;
  }
  void* frames[64];
  int n = ::backtrace(frames, 64);
  char** symbols = ::backtrace_symbols(frames, n);
  std::ostringstream text;
  text << tag << " backtrace at " << (file ? file : "?") << ":" << line;
  for (int i = 0; i < n; ++i)
    text << "\n  #" << i << ' ' << (symbols ? symbols[i] : "?");
  std::free(symbols);
  logger().forcedLog(log4cplus::ERROR_LOG_LEVEL, LOG4CPLUS_STRING_TO_TSTRING(text.str()), file, line);
  return true;
}

} // namespace vela
