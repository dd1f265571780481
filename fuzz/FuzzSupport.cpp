#include "fuzz/FuzzTarget.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <log4cplus/logger.h>
#include <log4cplus/loglevel.h>
#include <log4cplus/nullappender.h>

namespace quarry::fuzz {

void fail(std::string_view what, std::string_view input) {
  std::fprintf(stderr, "fuzz target property broken: %.*s\ninput (%zu bytes):", static_cast<int>(what.size()),
               what.data(), input.size());
  for (std::size_t i = 0; i < input.size(); ++i)
    std::fprintf(stderr, "%s%02x", i % 32 == 0 ? "\n  " : "", static_cast<unsigned char>(input[i]));
  std::fprintf(stderr, "\n");
  std::abort();
}

void quietLogging() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Refusals log at ERROR; a fuzzer would otherwise spend its time printing them. A null appender
    // keeps log4cplus from complaining that no appender is configured.
    log4cplus::Logger root = log4cplus::Logger::getRoot();
    root.removeAllAppenders();
    root.addAppender(log4cplus::SharedAppenderPtr(new log4cplus::NullAppender()));
    root.setLogLevel(log4cplus::OFF_LOG_LEVEL);
  });
}

std::vector<std::string_view> splitFields(std::string_view input, std::size_t count) {
  std::vector<std::string_view> fields;
  while (fields.size() + 1 < count) {
    const std::size_t at = input.find(kFieldSeparator);
    if (at == std::string_view::npos)
      break;
    fields.push_back(input.substr(0, at));
    input.remove_prefix(at + 1);
  }
  fields.push_back(input);
  fields.resize(std::max<std::size_t>(count, 1));
  return fields;
}

void packCell(std::string_view text, unsigned char* cell, std::size_t width) {
  std::memset(cell, 0, width);
  const std::size_t n = std::min(text.size(), width);
  for (std::size_t i = 0; i < n; ++i)
    cell[width - 1 - i] = static_cast<unsigned char>(text[i]);
}

} // namespace quarry::fuzz
