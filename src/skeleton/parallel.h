#pragma once
// Spreads independent loop iterations over the machine's cores. Each index is handled once,
// by one thread, so a body that writes only to its own index gives the same result as a
// plain loop.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <thread>
#include <vector>

// The most threads parallelFor uses; 0 means one per core. Benchmarks lower it to measure
// what the threads gain.
inline size_t parallelThreadLimit = 0;

// Calls body(i) for every i in [0, n), in chunks of `grain` indices handed out in turn to up
// to one thread per core (the caller's among them). Short loops run on the caller's
// thread alone. An exception thrown by a body is rethrown here once all threads are done.
template <typename Body>
void parallelFor(size_t n, Body body, size_t grain = 256) {
  size_t cores = std::max(1u, std::thread::hardware_concurrency());
  if (parallelThreadLimit > 0) cores = std::min(cores, parallelThreadLimit);
  const size_t threads = std::min(cores, (n + grain - 1) / std::max<size_t>(grain, 1));
  if (threads <= 1) {
    for (size_t i = 0; i < n; ++i) body(i);
    return;
  }
  std::atomic<size_t> next{0};
  std::vector<std::exception_ptr> failures(threads);
  auto work = [&](size_t t) {
    try {
      for (size_t begin; (begin = next.fetch_add(grain)) < n;) {
        const size_t end = std::min(n, begin + grain);
        for (size_t i = begin; i < end; ++i) body(i);
      }
    } catch (...) {
      failures[t] = std::current_exception();
      next = n;  // the others stop at their next chunk
    }
  };
  std::vector<std::thread> helpers;
  helpers.reserve(threads - 1);
  for (size_t t = 1; t < threads; ++t) helpers.emplace_back(work, t);
  work(0);
  for (std::thread& h : helpers) h.join();
  for (const std::exception_ptr& f : failures) {
    if (f) std::rethrow_exception(f);
  }
}
