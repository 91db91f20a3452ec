#include "platform/local_time.h"

namespace tabrix {

std::tm localTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  // The reentrant form: std::localtime shares one buffer between callers.
  ::localtime_r(&now, &local);
  return local;
}

}  // namespace tabrix
