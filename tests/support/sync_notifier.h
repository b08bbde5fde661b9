#pragma once
// The test's stand-ins for the window that owns the link. Workers' notices wait
// in a queue until the test's "window thread" (the thread that made the
// notifier) serves them, and each worker stays blocked until its notice has
// been handled, as with SendMessageW. A notice from the window thread itself
// is handled at once, as a window sending to itself would be.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "link/serial_link.h"

// The error boxes shown, by code.
struct ShownErrors final : ErrorReporter {
  void ShowError(uint16_t code) override { codes.push_back(code); }
  std::vector<uint16_t> codes;
};

class SyncNotifier final : public LinkNotifier {
 public:
  using Handler = std::function<void(LinkNotice)>;

  explicit SyncNotifier(Handler handler = {})
      : handler_(std::move(handler)), windowThread_(std::this_thread::get_id()) {}

  std::atomic<int> handled{0};

  void Notify(LinkNotice notice) override {
    if (std::this_thread::get_id() == windowThread_) {
      Handle(notice);
      return;
    }
    std::unique_lock<std::mutex> lock(m_);
    const uint64_t ticket = posted_++;
    queue_[ticket % kSlots] = notice;
    cv_.notify_all();
    cv_.wait(lock, [&] { return served_ > ticket; });
  }

  void ServeNotices(uint32_t ms) override {
    std::unique_lock<std::mutex> lock(m_);
    if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return served_ < posted_; })) return;
    while (served_ < posted_) {
      const LinkNotice notice = queue_[served_ % kSlots];
      lock.unlock();
      Handle(notice);
      lock.lock();
      ++served_;
      cv_.notify_all();
    }
  }

  // Window thread: serves notices until done() holds or ms have passed.
  template <typename Done>
  bool ServeUntil(Done done, uint32_t ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      ServeNotices(1);
    }
    return true;
  }

  // Waits, without serving, until `workers` workers are blocked in a notice.
  bool WaitForBlockedWorkers(uint64_t workers, uint32_t ms) {
    std::unique_lock<std::mutex> lock(m_);
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return posted_ - served_ >= workers; });
  }

 private:
  // Each worker has at most one notice outstanding.
  static constexpr uint64_t kSlots = 4;

  void Handle(LinkNotice notice) {
    ++handled;
    if (handler_) handler_(notice);
  }

  const Handler handler_;
  const std::thread::id windowThread_;
  std::mutex m_;
  std::condition_variable cv_;
  LinkNotice queue_[kSlots] = {};
  uint64_t posted_ = 0;  // under m_
  uint64_t served_ = 0;  // under m_
};
