// Worker threads that start jobs in the order they were submitted and hand
// their results back in that order, whichever worker finished first.
//
// Two ways to get the results:
// - pulled: the submitting thread waits for each ticket (WaitFor) and takes
//   its result (Take), as a batch run does for its rows;
// - pushed: a deliver function gets every result in submission order on a
//   worker thread, as the thumbnail build and the previews do.
// Replace gives the newest-request-wins form of a preview: the new job
// supersedes every job still waiting, and a job already running finishes
// but its result is dropped.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace imprimo {

template <class R>
class TOrderedPool {
 public:
  // A job learns which worker (0 .. Workers() - 1) runs it, so that it can
  // use that worker's own objects.
  using TJob = std::function<R(int worker)>;
  // Gets each result in submission order, one call at a time, on a worker
  // thread and outside the pool's lock. Dropped jobs and jobs that threw
  // are skipped.
  using TDeliver = std::function<void(uint64_t ticket, R result)>;

  // Starts up to `workers` threads (at least one); fewer start when the
  // system gives no more, and std::system_error is thrown when it gives
  // none. Without deliver the results are pulled.
  explicit TOrderedPool(int workers, TDeliver deliver = {}) : deliver_(std::move(deliver)) {
    for (int w = 0; w < std::max(1, workers); ++w) {
      try {
        threads_.emplace_back([this, w] { Work(w); });
      } catch (const std::system_error&) {
        if (threads_.empty()) throw;
        break;
      }
    }
  }

  // Drops what waits and what runs, then waits for the running jobs.
  ~TOrderedPool() { Shutdown(); }

  TOrderedPool(const TOrderedPool&) = delete;
  TOrderedPool& operator=(const TOrderedPool&) = delete;

  int Workers() const { return static_cast<int>(threads_.size()); }

  // Queues a job; its ticket is the number of jobs submitted before it.
  uint64_t Submit(TJob job) {
    uint64_t ticket;
    {
      std::lock_guard lock(mutex_);
      ticket = Enqueue(std::move(job));
    }
    work_.notify_one();
    return ticket;
  }

  // Newest request wins: the jobs waiting never run, the results of those
  // running are dropped; then job is queued.
  uint64_t Replace(TJob job) {
    uint64_t ticket;
    {
      std::lock_guard lock(mutex_);
      DropLocked(true);
      ticket = Enqueue(std::move(job));
    }
    work_.notify_one();
    settled_.notify_all();
    return ticket;
  }

  // The jobs not started yet never run; those running finish as usual.
  void CancelPending() {
    {
      std::lock_guard lock(mutex_);
      DropLocked(false);
    }
    settled_.notify_all();
  }

  // Stops the workers once their running jobs are done (results dropped);
  // nothing more runs. Called by the owning thread; a second call does
  // nothing.
  void Shutdown() {
    {
      std::lock_guard lock(mutex_);
      if (stopping_ && threads_.empty()) return;
      stopping_ = true;
      DropLocked(true);
    }
    work_.notify_all();
    settled_.notify_all();
    for (std::thread& t : threads_)
      if (t.joinable()) t.join();
    threads_.clear();
  }

  // Jobs taken by a worker so far.
  uint64_t Started() const {
    std::lock_guard lock(mutex_);
    return started_;
  }

  // Nothing waits, runs or is being delivered.
  bool Idle() const {
    std::lock_guard lock(mutex_);
    return queue_.empty() && running_ == 0 && !delivering_;
  }

  // Waits up to a moment for the ticket's job to end; true when it has (it
  // finished, was dropped, or the ticket was taken or never given).
  bool WaitFor(uint64_t ticket, std::chrono::milliseconds moment) {
    std::unique_lock lock(mutex_);
    return settled_.wait_for(lock, moment, [&] { return SettledLocked(ticket); });
  }

  // The result of an ended ticket, once; nothing when the job was dropped.
  // Rethrows what the job threw.
  std::optional<R> Take(uint64_t ticket) {
    std::unique_lock lock(mutex_);
    auto it = slots_.find(ticket);
    if (it == slots_.end() || !IsSettled(it->second)) return std::nullopt;
    TSlot slot = std::move(it->second);
    slots_.erase(it);
    lock.unlock();
    if (slot.Error) std::rethrow_exception(slot.Error);
    return std::move(slot.Result);
  }

 private:
  enum class TState { Queued, Running, Done, Dropped };
  struct TSlot {
    TJob Job;
    TState State = TState::Queued;
    bool Superseded = false;  // running when dropped: its result goes
    std::optional<R> Result;
    std::exception_ptr Error;
  };

  static bool IsSettled(const TSlot& slot) {
    return slot.State == TState::Done || slot.State == TState::Dropped;
  }
  bool SettledLocked(uint64_t ticket) const {
    auto it = slots_.find(ticket);
    return it == slots_.end() || IsSettled(it->second);
  }

  uint64_t Enqueue(TJob job) {
    const uint64_t ticket = next_++;
    if (stopping_) {
      slots_[ticket].State = TState::Dropped;
      return ticket;
    }
    slots_[ticket].Job = std::move(job);
    queue_.push_back(ticket);
    return ticket;
  }

  // Drops the queued jobs and, with running, the results to come.
  void DropLocked(bool running) {
    for (uint64_t ticket : queue_) {
      TSlot& slot = slots_[ticket];
      slot.State = TState::Dropped;
      slot.Job = nullptr;
    }
    queue_.clear();
    if (running)
      for (auto& [ticket, slot] : slots_)
        if (slot.State == TState::Running) slot.Superseded = true;
  }

  void Work(int worker) {
    std::unique_lock lock(mutex_);
    for (;;) {
      work_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;  // stopping
      const uint64_t ticket = queue_.front();
      queue_.pop_front();
      TSlot& slot = slots_[ticket];
      slot.State = TState::Running;
      TJob job = std::move(slot.Job);
      ++started_;
      ++running_;
      lock.unlock();
      std::optional<R> result;
      std::exception_ptr error;
      try {
        result.emplace(job(worker));
      } catch (...) {
        error = std::current_exception();
      }
      job = nullptr;
      lock.lock();
      Settle(ticket, std::move(result), error);
      --running_;
      if (deliver_) DeliverReady(lock);
      settled_.notify_all();
    }
  }

  void Settle(uint64_t ticket, std::optional<R> result, std::exception_ptr error) {
    TSlot& slot = slots_[ticket];
    if (slot.Superseded || stopping_) {
      slot.State = TState::Dropped;
      return;
    }
    slot.State = TState::Done;
    slot.Result = std::move(result);
    slot.Error = error;
  }

  // Hands over every ended result no earlier ticket holds back; one worker
  // at a time does so, the others leave their results to it.
  void DeliverReady(std::unique_lock<std::mutex>& lock) {
    if (delivering_) return;
    delivering_ = true;
    for (;;) {
      auto it = slots_.find(delivered_);
      if (it == slots_.end() || !IsSettled(it->second)) break;
      TSlot slot = std::move(it->second);
      slots_.erase(it);
      const uint64_t ticket = delivered_++;
      if (slot.State != TState::Done || slot.Error || !slot.Result) continue;
      lock.unlock();
      try {
        deliver_(ticket, std::move(*slot.Result));
      } catch (...) {
        // A receiver that throws loses that result, not the pool.
      }
      lock.lock();
      if (stopping_) break;
    }
    delivering_ = false;
  }

  const TDeliver deliver_;
  mutable std::mutex mutex_;  // guards everything below but threads_
  std::condition_variable work_, settled_;
  std::map<uint64_t, TSlot> slots_;
  std::deque<uint64_t> queue_;  // tickets not started, in order
  uint64_t next_ = 0, started_ = 0, delivered_ = 0;
  int running_ = 0;
  bool delivering_ = false;
  bool stopping_ = false;
  std::vector<std::thread> threads_;  // last: started once the rest is set up
};

}  // namespace imprimo
