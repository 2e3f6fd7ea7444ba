#include "platform/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <string>
#include <vector>

namespace imprimo {
namespace {

using namespace std::chrono_literals;

// Waits for a pulled ticket however long its job takes.
template <class R>
std::optional<R> Await(TOrderedPool<R>& pool, uint64_t ticket) {
  while (!pool.WaitFor(ticket, 50ms)) {
  }
  return pool.Take(ticket);
}

// A gate the test opens once the job behind it may go on.
struct TGate {
  std::promise<void> Open;
  std::shared_future<void> Opened = Open.get_future().share();
};

TEST(OrderedPool, PulledResultsComeInSubmissionOrderWhateverFinishesFirst) {
  TOrderedPool<int> pool(3);
  ASSERT_GE(pool.Workers(), 1);
  TGate first;
  std::atomic<int> workersSeen{0};
  // The first job waits until every later one has finished.
  std::vector<uint64_t> tickets;
  tickets.push_back(pool.Submit([&](int worker) {
    first.Opened.wait();
    workersSeen |= 1 << worker;
    return 0;
  }));
  for (int i = 1; i < 8; ++i)
    tickets.push_back(pool.Submit([&, i](int worker) {
      workersSeen |= 1 << worker;
      return i * 10;
    }));
  for (int i = 1; i < 8; ++i) EXPECT_EQ(tickets[i], uint64_t(i));
  if (pool.Workers() > 1) {
    // The others end while the first still waits.
    ASSERT_TRUE(pool.WaitFor(7, 10s));
    EXPECT_FALSE(pool.WaitFor(0, 1ms));
  }
  first.Open.set_value();
  for (int i = 0; i < 8; ++i) {
    std::optional<int> r = Await(pool, tickets[i]);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(*r, i * 10);
  }
  EXPECT_LT(workersSeen.load(), 1 << pool.Workers());
  EXPECT_FALSE(pool.Take(3).has_value()) << "a result is taken once";
  EXPECT_TRUE(pool.Idle());
  EXPECT_EQ(pool.Started(), 8u);
}

TEST(OrderedPool, CancelledJobsNeverRunAndRunningOnesFinish) {
  TOrderedPool<int> pool(1);
  TGate gate;
  std::atomic<int> ran{0};
  const uint64_t running = pool.Submit([&](int) {
    gate.Opened.wait();
    ++ran;
    return 1;
  });
  while (pool.Started() == 0) std::this_thread::sleep_for(1ms);
  const uint64_t waiting = pool.Submit([&](int) {
    ++ran;
    return 2;
  });
  pool.CancelPending();
  EXPECT_TRUE(pool.WaitFor(waiting, 0ms));
  EXPECT_FALSE(pool.Take(waiting).has_value());
  gate.Open.set_value();
  EXPECT_EQ(Await(pool, running), 1);
  EXPECT_EQ(ran.load(), 1);
  // The pool goes on taking jobs after a cancel.
  EXPECT_EQ(Await(pool, pool.Submit([](int) { return 3; })), 3);
}

TEST(OrderedPool, AJobThatThrowsRethrowsOnTakeAndTheOthersGoOn) {
  TOrderedPool<std::string> pool(2);
  const uint64_t bad = pool.Submit([](int) -> std::string { throw std::runtime_error("broken"); });
  const uint64_t good = pool.Submit([](int) { return std::string("fine"); });
  ASSERT_TRUE(pool.WaitFor(bad, 10s));
  EXPECT_THROW(pool.Take(bad), std::runtime_error);
  EXPECT_EQ(Await(pool, good), "fine");
}

TEST(OrderedPool, PushedResultsArriveInOrderOneAtATime) {
  std::mutex mutex;
  std::vector<uint64_t> order;
  std::atomic<int> inside{0}, overlap{0};
  std::promise<void> all;
  constexpr int kJobs = 40;
  {
    TOrderedPool<int> pool(4, [&](uint64_t ticket, int value) {
      if (++inside > 1) ++overlap;
      {
        std::lock_guard lock(mutex);
        order.push_back(ticket);
        EXPECT_EQ(value, int(ticket) * 2);
      }
      --inside;
      if (ticket == kJobs - 1) all.set_value();
    });
    for (int i = 0; i < kJobs; ++i)
      pool.Submit([i](int) {
        // Early jobs take longer, so later ones end first.
        std::this_thread::sleep_for(std::chrono::microseconds((kJobs - i) * 100));
        return i * 2;
      });
    ASSERT_EQ(all.get_future().wait_for(30s), std::future_status::ready);
  }
  ASSERT_EQ(order.size(), size_t(kJobs));
  for (int i = 0; i < kJobs; ++i) EXPECT_EQ(order[i], uint64_t(i));
  EXPECT_EQ(overlap.load(), 0);
}

TEST(OrderedPool, TheNewestRequestWinsOverWaitingAndRunningOnes) {
  std::mutex mutex;
  std::vector<int> shown;
  TOrderedPool<int> pool(1, [&](uint64_t, int value) {
    std::lock_guard lock(mutex);
    shown.push_back(value);
  });
  TGate gate;
  std::atomic<bool> secondRan{false};
  pool.Replace([&](int) {
    gate.Opened.wait();
    return 1;
  });
  while (pool.Started() == 0) std::this_thread::sleep_for(1ms);
  pool.Replace([&](int) {
    secondRan = true;
    return 2;
  });
  const uint64_t last = pool.Replace([](int) { return 3; });
  EXPECT_FALSE(pool.Idle());
  gate.Open.set_value();
  for (auto start = std::chrono::steady_clock::now(); !pool.Idle();) {
    ASSERT_LT(std::chrono::steady_clock::now() - start, 30s);
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(last, 2u);
  EXPECT_FALSE(secondRan.load()) << "a superseded request waiting never runs";
  std::lock_guard lock(mutex);
  EXPECT_EQ(shown, std::vector<int>{3}) << "the superseded running request shows nothing";
}

TEST(OrderedPool, ShutdownWaitsForRunningJobsAndDropsTheRest) {
  std::atomic<int> delivered{0}, ran{0};
  TGate gate;
  auto pool = std::make_unique<TOrderedPool<int>>(1, [&](uint64_t, int) { ++delivered; });
  pool->Submit([&](int) {
    gate.Opened.wait();
    ++ran;
    return 0;
  });
  for (int i = 0; i < 5; ++i)
    pool->Submit([&](int) {
      ++ran;
      return 0;
    });
  while (pool->Started() == 0) std::this_thread::sleep_for(1ms);
  std::thread opener([&] {
    std::this_thread::sleep_for(20ms);
    gate.Open.set_value();
  });
  pool.reset();
  opener.join();
  EXPECT_EQ(ran.load(), 1);
  EXPECT_EQ(delivered.load(), 0);
}

}  // namespace
}  // namespace imprimo
