#pragma once
// Result<T>: a value or an error with a category and a message. Engine
// operations keep their documented results at the interface; Result carries
// failures between the pieces inside.
#include <string>
#include <utility>
#include <variant>

namespace base {

enum class ErrorKind {
  InvalidInput,  // the caller's arguments
  InvalidData,   // bytes from a disc, an image or a file
  Device,        // the drive answered with an error
  System,        // the operating system refused
  Cancelled,     // the user aborted
  Internal,      // a broken invariant
};

struct Error {
  ErrorKind Kind = ErrorKind::Internal;
  std::string Message;
};

template <typename T>
class Result {
 public:
  Result(T value) : FData(std::move(value)) {}  // NOLINT: implicit by design
  Result(Error error) : FData(std::move(error)) {}  // NOLINT

  bool Ok() const { return std::holds_alternative<T>(FData); }
  explicit operator bool() const { return Ok(); }
  T& Value() { return std::get<T>(FData); }
  const T& Value() const { return std::get<T>(FData); }
  const Error& Err() const { return std::get<Error>(FData); }

 private:
  std::variant<T, Error> FData;
};

struct Unit {};
using Status = Result<Unit>;
inline Status Ok() { return Unit{}; }
inline Error MakeError(ErrorKind kind, std::string message) { return Error{kind, std::move(message)}; }

}  // namespace base
