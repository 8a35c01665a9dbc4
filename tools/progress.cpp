#include "tools/progress.h"

#include <chrono>
#include <cstdio>

#include "tools/tool_files.h"

namespace pavorm_tool {
namespace {

using Clock = std::chrono::steady_clock;
constexpr long kDefaultDelayMs = 1000;  // work shorter than this shows nothing

// PAVORM_PROGRESS_DELAY: milliseconds before the first line (as pv's --delay-start).
std::chrono::milliseconds FirstAfter() {
  const std::string text = EnvironmentValue("PAVORM_PROGRESS_DELAY");
  if (text.empty() || text.size() > 7 || text.find_first_not_of("0123456789") != std::string::npos) {
    return std::chrono::milliseconds(kDefaultDelayMs);
  }
  return std::chrono::milliseconds(std::stol(text));
}
constexpr auto kEvery = std::chrono::milliseconds(250);

}  // namespace

Progress::Progress(const std::string& what, size_t total) : what_(what), total_(total) {
  if (!StandardErrorIsTerminal()) return;
  thread_ = std::thread([this] { Run(); });
}

Progress::~Progress() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> guard(lock_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
  if (shown_) {
    std::fputs("\r\033[K", stderr);  // erase the line
    std::fflush(stderr);
  }
}

std::string Progress::Line(double seconds) const {
  char buf[160];
  const size_t done = done_.load(std::memory_order_relaxed);
  if (total_ == 0) {
    std::snprintf(buf, sizeof buf, ": %.0f s", seconds);
  } else {
    const double mb = 1024.0 * 1024.0;
    const double share = done >= total_ ? 100.0 : 100.0 * static_cast<double>(done) / static_cast<double>(total_);
    std::snprintf(buf, sizeof buf, ": %3.0f %%, %.1f of %.1f MB, %.0f s", share, static_cast<double>(done) / mb,
                  static_cast<double>(total_) / mb, seconds);
  }
  return "\rpavorm: " + what_ + buf + "\033[K";
}

void Progress::Run() {
  const Clock::time_point start = Clock::now();
  std::unique_lock<std::mutex> guard(lock_);
  if (wake_.wait_until(guard, start + FirstAfter(), [this] { return stop_; })) return;
  while (!stop_) {
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::fputs(Line(seconds).c_str(), stderr);
    std::fflush(stderr);
    shown_ = true;
    wake_.wait_for(guard, kEvery, [this] { return stop_; });
  }
}

}  // namespace pavorm_tool
