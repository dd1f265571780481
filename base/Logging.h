#pragma once
// Logging services of the base library: the evaluator's logger with per-level counters, stable file
// codes for message locations, and the error-backtrace facility.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include <log4cplus/logger.h>

namespace vela {

/// Stable code of a source path, printed in message locations as "(code:line)". The same path gives
/// the same code in every build and process (FNV-1a of the path text, folded to six decimal digits).
int getLogErrorCodeFrom_FILE(std::string_view sourcePath);

/// Location suffix of a message: a space, "(", the file code, ":", the line, ")".
std::string locationSuffix(std::string_view sourcePath, int line);

/// The evaluator's logger (log4cplus name "vela::cuda::KernelLogger") with a counter per log level,
/// raised by callers before they log so that monitoring sees how many messages of each level were
/// produced whatever the appenders do with them.
class KernelLogger {
public:
  static constexpr const char* kName = "vela::cuda::KernelLogger";
  static log4cplus::Logger& logger();
  static bool isEnabledFor(int level);
  static void incrementLogLevelCounter(int level);
  /// Messages counted at `level` since the process started (or since resetLogLevelCounters()).
  static std::uint64_t logLevelCounter(int level);
  static void resetLogLevelCounters();
  /// Logs `message` at `level` with the given source location, without checking the level first.
  static void forcedLog(int level, const std::string& message, const char* file, int line,
                        const char* function);
};

/// Installs a console appender on the root logger (stderr, "LEVEL logger - message") and sets the
/// root level, unless the root logger already has appenders. Tools and tests call it; a host process
/// that configures log4cplus itself does not.
void configureDefaultLogging(int rootLevel = 25000);

/// The error-backtrace switch: when on, and the backtrace logger is enabled for ERROR, ERROR-level
/// refusals print a backtrace of the raising thread once per raising location.
void setErrorBacktraceEnabled(bool on);
bool isErrorBacktraceEnabled();

class Backtrace {
public:
  static constexpr const char* kLoggerName = "vela::Backtrace";
  static log4cplus::Logger& logger();
  /// Logs the calling thread's stack at ERROR under `tag`, the first time this (file, line) asks;
  /// later calls from the same location do nothing. Returns whether it printed.
  static bool printBacktraceOnce(const char* tag, const char* file, int line);
};

/// The log4cplus loggers the libraries write to: the evaluator's, the error backtrace's and the value
/// types' ("Type"). Each carries an appender named kSilentAppenderName that drops every event, so that
/// a host that set up no logging gets no output at all (log4cplus would otherwise print "No appenders
/// could be found" on stderr). Their additivity stays on: appenders a host attaches to the root logger
/// or to one of them receive every message.
inline constexpr std::array<const char*, 3> kLibraryLoggerNames = {KernelLogger::kName,
                                                                   Backtrace::kLoggerName, "Type"};
inline constexpr const char* kSilentAppenderName = "quarry-silent";

} // namespace vela
