#pragma once
// Helpers of the nesting tests: deep texts and values built without any reader, and a thread with a
// small stack on which values at the nesting caps must still be read, copied, printed and freed.
#include <cstddef>
#include <functional>
#include <string>

#include <nlohmann/json.hpp>
#include <pthread.h>

namespace quarry::test {

/// `depth` copies of `open`, then `inner`, then `depth` copies of `close`.
inline std::string nestedText(std::size_t depth, const std::string& open, const std::string& inner,
                              const std::string& close) {
  std::string text;
  for (std::size_t i = 0; i < depth; ++i)
    text += open;
  text += inner;
  for (std::size_t i = 0; i < depth; ++i)
    text += close;
  return text;
}

/// [[...[]...]] with `depth` arrays, built without the parser.
inline nlohmann::json deepJsonArray(std::size_t depth) {
  nlohmann::json v = nlohmann::json::array();
  for (std::size_t i = 1; i < depth; ++i) {
    nlohmann::json outer = nlohmann::json::array();
    outer.push_back(std::move(v));
    v = std::move(outer);
  }
  return v;
}

/// Runs `work` to completion on a new thread with a stack of `stackBytes` (default 2 MiB, smaller than
/// a main thread's and comparable to a pool worker's). False when the thread could not be started.
inline bool runOnSmallStack(std::function<void()> work, std::size_t stackBytes = std::size_t{2} << 20) {
  pthread_attr_t attr;
  pthread_t thread;
  if (pthread_attr_init(&attr) != 0)
    return false;
  const auto body = [](void* f) -> void* { return (*static_cast<std::function<void()>*>(f))(), nullptr; };
  const bool started =
      pthread_attr_setstacksize(&attr, stackBytes) == 0 && pthread_create(&thread, &attr, body, &work) == 0;
  if (started)
    pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  return started;
}

} // namespace quarry::test
