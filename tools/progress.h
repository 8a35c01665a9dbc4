// Progress of long work on standard error, as pv shows it: after a second,
// one line redrawn in place with what is done ("xml check big.xml: 45 %,
// 90.0 of 200.0 MB, 3 s"), or the time alone when the size is not known.
// Only when standard error is a terminal: a script or a log gets nothing.
#ifndef PAVORM_TOOLS_PROGRESS_H
#define PAVORM_TOOLS_PROGRESS_H

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

namespace pavorm_tool {

class Progress {
 public:
  // total: the amount of work in bytes (0: unknown). Nothing is started when
  // standard error is not a terminal.
  Progress(const std::string& what, size_t total);
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  // Stops the line and clears it, so that a following message starts clean.
  ~Progress();
  // Work done so far, in the unit of total; cheap enough for an inner loop.
  void Set(size_t done) { done_.store(done, std::memory_order_relaxed); }
  // The same counter, for code that updates it itself.
  std::atomic<size_t>* Counter() { return &done_; }

 private:
  void Run();
  std::string Line(double seconds) const;

  std::string what_;
  size_t total_;
  std::atomic<size_t> done_{0};
  std::mutex lock_;
  std::condition_variable wake_;
  bool stop_ = false;
  bool shown_ = false;
  std::thread thread_;
};

}  // namespace pavorm_tool

#endif
