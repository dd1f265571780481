#pragma once
// Exceptions and statuses of the base library. Frame faults of the evaluator and every failure of a
// base service are thrown as VelaException.

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

namespace vela {

/// Kind of a Status. Only the kinds the libraries raise are named; the numbers are stable.
enum class StatusEnum : int {
  Ok = 0,
  InvalidArgument = 3,
  OutOfMemory = 4,
  EvaluationError = 6,
};

/// A kind and a message, carried by a VelaException or returned by a service.
class Status {
public:
  Status() = default;
  Status(StatusEnum kind, std::string message) : m_kind(kind), m_message(std::move(message)) {}
  StatusEnum kind() const noexcept { return m_kind; }
  const std::string& message() const noexcept { return m_message; }
  bool ok() const noexcept { return m_kind == StatusEnum::Ok; }
  /// The message alone: this is what a log line or an exception text shows of a status.
  const std::string& toString() const noexcept { return m_message; }

private:
  StatusEnum m_kind = StatusEnum::Ok;
  std::string m_message;
};

/// The "what" code of a VelaException: which subsystem raised it.
enum class VelaWhat : int {
  Internal = 1,
  ResourceExhausted = 4,
  Unsupported = 5,
  Evaluation = 8,
};

/// The one exception type of both libraries.
///
/// Plain form: `VelaException(what, text)`; what() is the text. Status form:
/// `VelaException(what, location, status)`; what() is the status message followed by the location
/// text, so that both forms read "message (file:line)".
class VelaException : public std::exception {
public:
  VelaException(int what, std::string text) : m_what(what), m_location(), m_text(std::move(text)) {}
  VelaException(VelaWhat what, std::string text) : VelaException(static_cast<int>(what), std::move(text)) {}
  VelaException(int what, std::string location, Status status)
      : m_what(what), m_location(std::move(location)), m_status(std::move(status)),
        m_text(m_status->message() + m_location) {}
  VelaException(VelaWhat what, std::string location, Status status)
      : VelaException(static_cast<int>(what), std::move(location), std::move(status)) {}

  const char* what() const noexcept override { return m_text.c_str(); }
  int whatCode() const noexcept { return m_what; }
  /// Location text of the status form; empty for the plain form.
  const std::string& location() const noexcept { return m_location; }
  const std::optional<Status>& status() const noexcept { return m_status; }

private:
  int m_what;
  std::string m_location;
  std::optional<Status> m_status;
  std::string m_text;
};

} // namespace vela
