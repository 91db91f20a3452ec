#pragma once
// The outcome of an operation that can fail for an expected reason (a file
// that cannot be opened, a damaged header, a full disk): success, or a
// failure with the text the user reads. Unexpected faults are not results.
#include <string>
#include <utility>

namespace tabrix {

class [[nodiscard]] Result {
 public:
  Result() = default;  // success
  static Result failure(std::string reason) { return Result(std::move(reason)); }

  bool ok() const { return !failed_; }
  explicit operator bool() const { return !failed_; }
  // The system's or the format's reason; empty on success.
  const std::string& reason() const { return reason_; }

 private:
  explicit Result(std::string reason) : reason_(std::move(reason)), failed_(true) {}

  std::string reason_;
  bool failed_ = false;
};

}  // namespace tabrix
