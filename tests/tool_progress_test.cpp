// Progress of long work: on standard error when it is a terminal, nothing
// when it is a file or a pipe.
#include <poll.h>
#include <sys/ioctl.h>

#include "tool_test_support.h"

namespace {

using ToolProgress = ToolTest;

// Runs the tool with standard error on a new pseudo-terminal; what it wrote there.
std::string RunOnTerminal(const std::vector<std::string>& args, const std::string& cwd, int* status) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return "(no pseudo-terminal)";
  const std::string slave = ptsname(master);
  const pid_t pid = fork();
  if (pid == 0) {
    const int err = open(slave.c_str(), O_RDWR);
    const int out = open("/dev/null", O_WRONLY);
    if (err < 0 || out < 0 || dup2(err, 2) < 0 || dup2(out, 1) < 0 || chdir(cwd.c_str()) != 0) _exit(126);
    setenv("PAVORM_PROGRESS_DELAY", "0", 1);
    std::vector<char*> argv = {const_cast<char*>(PAVORM_TOOL_PATH)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(PAVORM_TOOL_PATH, argv.data());
    _exit(127);
  }
  // Read while it runs, so that a full terminal buffer cannot stop it.
  std::string seen;
  int ws = 0;
  for (bool done = false; !done;) {
    done = waitpid(pid, &ws, WNOHANG) == pid;
    struct pollfd p = {master, POLLIN, 0};
    while (poll(&p, 1, done ? 0 : 50) > 0 && (p.revents & POLLIN) != 0) {
      char buf[4096];
      const ssize_t n = read(master, buf, sizeof buf);
      if (n <= 0) break;
      seen.append(buf, static_cast<size_t>(n));
    }
  }
  close(master);
  *status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
  return seen;
}

TEST_F(ToolProgress, ShownOnATerminalOnly) {
  std::string big = "<doc>";
  while (big.size() < 8u << 20) big += "<item a=\"1\">some text &amp; more</item>\n";
  Write("big.xml", big + "</doc>");
  int status = -1;
  const std::string terminal = RunOnTerminal({"xml", "check", "big.xml"}, home_, &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(terminal.find("\rpavorm: xml big.xml: "), std::string::npos) << terminal;
  EXPECT_NE(terminal.find(" MB, "), std::string::npos) << terminal;
  // The line is cleared at the end, so that what follows starts clean.
  EXPECT_EQ(terminal.size() >= 4 ? terminal.substr(terminal.size() - 4) : terminal, "\r\033[K") << terminal;

  const ToolRun file = Run({"xml", "check", "big.xml"});
  EXPECT_EQ(file.status, 0);
  EXPECT_EQ(file.err, "");
}

}  // namespace
