#pragma once
// The steps of a walk's progress (percent, thousandths), found with one
// comparison per record: a division only once the count reaches the first
// count of the next step.
#include <cstdint>

namespace tabrix {

class ProgressSteps {
 public:
  explicit ProgressSteps(uint64_t steps) : steps_(steps) {}

  // Whether current of total (total > 0) is in a step other than the one
  // last reported; step() is then that step, current * steps / total.
  bool advanced(uint64_t current, uint64_t total) {
    const bool sameStep = total == total_ && current >= current_ && current < next_;
    current_ = current;
    if (sameStep) return false;
    total_ = total;
    step_ = current * steps_ / total;
    next_ = ((step_ + 1) * total + steps_ - 1) / steps_;
    if (reported_ && step_ == last_) return false;
    reported_ = true;
    last_ = step_;
    return true;
  }
  uint64_t step() const { return step_; }

 private:
  uint64_t steps_;
  uint64_t current_ = 0, total_ = 0;
  uint64_t next_ = 0;  // the first count of the next step
  uint64_t step_ = 0, last_ = 0;
  bool reported_ = false;
};

}  // namespace tabrix
