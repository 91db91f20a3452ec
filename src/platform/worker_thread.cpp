#include "platform/worker_thread.h"

#include <system_error>

namespace tabrix {

void WorkerThread::post(std::function<void()> task) {
  if (!thread_.joinable() && !unavailable_) {
    try {
      thread_ = std::thread([this] { loop(); });
    } catch (const std::system_error&) {
      unavailable_ = true;
    }
  }
  if (!thread_.joinable()) {
    task();
    return;
  }
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return !busy_; });
  task_ = std::move(task);
  busy_ = true;
  lock.unlock();
  wake_.notify_one();
}

void WorkerThread::wait() {
  if (!thread_.joinable()) return;
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return !busy_; });
}

void WorkerThread::stop() {
  if (!thread_.joinable()) return;
  {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return !busy_; });
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
  stopping_ = false;
}

void WorkerThread::loop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return busy_ || stopping_; });
    if (!busy_) return;
    lock.unlock();
    task_();
    lock.lock();
    task_ = nullptr;
    busy_ = false;
    done_.notify_all();
  }
}

}  // namespace tabrix
