#pragma once
// Spreads independent loop iterations over the machine's cores. Each index is handled once,
// by one thread, so a body that writes only to its own index gives the same result as a
// plain loop.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

// The most threads parallelFor uses; 0 means one per core. Benchmarks lower it to measure
// what the threads gain.
inline size_t parallelThreadLimit = 0;

// Calls body(i) for every i in [0, n), in chunks of `grain` indices taken in turn by the
// caller's thread and up to one helper thread per further core. Short loops run on the
// caller's thread alone. The caller never waits for a helper that has not started: on a busy
// machine a helper may get its first time slice only after the caller has done every chunk,
// and it then leaves without touching the loop. An exception thrown by a body is rethrown
// here once the running helpers are done.
template <typename Body>
void parallelFor(size_t n, Body body, size_t grain = 256) {
  size_t cores = std::max(1u, std::thread::hardware_concurrency());
  if (parallelThreadLimit > 0) cores = std::min(cores, parallelThreadLimit);
  grain = std::max<size_t>(grain, 1);
  const size_t threads = std::min(cores, (n + grain - 1) / grain);
  if (threads <= 1) {
    for (size_t i = 0; i < n; ++i) body(i);
    return;
  }
  // Outlives this call in case a helper starts late; the loop itself is only reached by
  // helpers admitted before the caller closed it.
  struct Shared {
    std::atomic<size_t> next{0};
    std::mutex lock;
    std::condition_variable idle;
    bool closed = false;
    size_t running = 0;
    std::exception_ptr failure;
  };
  const auto shared = std::make_shared<Shared>();
  auto work = [&body, n, grain](Shared& s) {
    try {
      for (size_t begin; (begin = s.next.fetch_add(grain)) < n;) {
        const size_t end = std::min(n, begin + grain);
        for (size_t i = begin; i < end; ++i) body(i);
      }
    } catch (...) {
      std::lock_guard<std::mutex> hold(s.lock);
      if (!s.failure) s.failure = std::current_exception();
      s.next = n;  // the others stop at their next chunk
    }
  };
  auto helper = [shared, &work] {
    {
      std::lock_guard<std::mutex> hold(shared->lock);
      if (shared->closed) return;
      ++shared->running;
    }
    work(*shared);
    std::lock_guard<std::mutex> hold(shared->lock);
    if (--shared->running == 0) shared->idle.notify_all();
  };
  for (size_t t = 1; t < threads; ++t) {
    try {
      std::thread(helper).detach();
    } catch (const std::system_error&) {
      break;  // no thread to be had: the ones there are do the loop
    }
  }
  work(*shared);
  std::unique_lock<std::mutex> hold(shared->lock);
  shared->closed = true;
  shared->idle.wait(hold, [&] { return shared->running == 0; });
  if (shared->failure) std::rethrow_exception(shared->failure);
}
