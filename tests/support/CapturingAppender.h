#pragma once
// A log4cplus appender that keeps what it receives, for tests that check logged messages and levels.

#include <mutex>
#include <string>
#include <vector>

#include <log4cplus/appender.h>
#include <log4cplus/logger.h>
#include <log4cplus/spi/loggingevent.h>

namespace quarry::test {

struct LoggedEvent {
  int level;
  std::string logger;
  std::string message;
  std::string file;
  int line;
  std::string function;
};

class CapturingAppender : public log4cplus::Appender {
public:
  CapturingAppender() { setName(LOG4CPLUS_TEXT("capture")); }
  ~CapturingAppender() override { destructorImpl(); }
  void close() override {}

  std::vector<LoggedEvent> events() {
    std::lock_guard lock(m_mutex);
    return m_events;
  }

protected:
  void append(const log4cplus::spi::InternalLoggingEvent& e) override {
    std::lock_guard lock(m_mutex);
    m_events.push_back(
        {e.getLogLevel(), e.getLoggerName(), e.getMessage(), e.getFile(), e.getLine(), e.getFunction()});
  }

private:
  std::mutex m_mutex;
  std::vector<LoggedEvent> m_events;
};

/// Attaches a capturing appender to a logger for the lifetime of the object and sets the logger's level.
class LogCapture {
public:
  explicit LogCapture(log4cplus::Logger logger, int level = log4cplus::TRACE_LOG_LEVEL)
      : m_logger(std::move(logger)), m_previousLevel(m_logger.getLogLevel()),
        m_appender(new CapturingAppender) {
    m_logger.addAppender(m_appender);
    m_logger.setLogLevel(level);
  }
  ~LogCapture() {
    m_logger.removeAppender(m_appender);
    m_logger.setLogLevel(m_previousLevel);
  }
  std::vector<LoggedEvent> events() { return static_cast<CapturingAppender*>(m_appender.get())->events(); }

private:
  log4cplus::Logger m_logger;
  int m_previousLevel;
  log4cplus::SharedAppenderPtr m_appender;
};

} // namespace quarry::test
