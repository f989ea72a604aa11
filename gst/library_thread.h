#pragma once
// The thread the library lives on. The library answers only on the thread that started it,
// while a pipeline calls its elements from threads of its own choosing (state changes on the
// application's thread, buffers on a streaming thread that may change after a flush); so the
// element keeps one thread of its own and hands it each piece of work, waiting for it.
// Creating one may throw (std::system_error when no thread can be started).

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace vxgst {

class LibraryThread {
 public:
  LibraryThread() : thread_([this] { Loop(); }) {}
  ~LibraryThread() {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  LibraryThread(const LibraryThread &) = delete;
  LibraryThread &operator=(const LibraryThread &) = delete;

  // Runs work on the library's thread and returns when it is done. What work throws is thrown
  // here, to the caller; the thread goes on serving. Called from work itself (already on the
  // library's thread), it runs the inner work at once.
  void Run(const std::function<void()> &work) {
    if (std::this_thread::get_id() == thread_.get_id()) {
      work();
      return;
    }
    std::lock_guard one_at_a_time(callers_);
    std::unique_lock lock(mutex_);
    job_ = &work;
    wake_.notify_all();
    done_.wait(lock, [&] { return job_ == nullptr; });
    if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
  }

 private:
  void Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return quit_ || job_ != nullptr; });
      if (job_ != nullptr) {
        try {
          (*job_)();
        } catch (...) {
          error_ = std::current_exception();
        }
        job_ = nullptr;
        done_.notify_all();
      } else {
        return;
      }
    }
  }

  std::mutex callers_, mutex_;
  std::condition_variable wake_, done_;
  const std::function<void()> *job_ = nullptr;
  std::exception_ptr error_;
  bool quit_ = false;
  std::thread thread_;  // last: starts once the rest is ready
};

}  // namespace vxgst
