#pragma once
// One task at a time on a thread of its own, started by the first task: the
// caller hands over slow system work, such as writing a full buffer, and goes
// on with its own.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace tabrix {

class WorkerThread {
 public:
  WorkerThread() = default;
  ~WorkerThread() { stop(); }
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Waits for the task before, then hands task to the thread; where no
  // thread can be started, runs it here.
  void post(std::function<void()> task);
  // Returns once no task is running: what the task wrote may then be read.
  void wait();
  // Waits, then ends the thread; a later post starts another.
  void stop();

 private:
  void loop();

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::function<void()> task_;  // the thread's own while busy_
  bool busy_ = false;  bool stopping_ = false;
  bool unavailable_ = false;  // no thread could be started
};

}  // namespace tabrix
