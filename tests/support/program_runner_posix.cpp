// The runner on Linux: fork and exec, pipes polled, the child killed with
// its test.
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "program_runner.h"
#include "../foundation/console_capture.h"

extern char** environ;

namespace vmetest {

using runner::Clock;
using runner::msLeft;

ProgramSession::ProgramSession(const std::string& name, const RunOptions& options) {
  int inPipe[2], outPipe[2], errPipe[2];
  if (pipe(inPipe) != 0 || pipe(outPipe) != 0 || pipe(errPipe) != 0)
    throw std::runtime_error("pipe failed");

  std::vector<std::string> envText;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "VME_", 4) == 0) continue;
    envText.emplace_back(*e);
  }
  for (const auto& [k, v] : options.env) envText.push_back(k + "=" + v);
  if (options.env.count("VME_BUS") == 0) envText.emplace_back("VME_BUS=sim");
  std::vector<char*> envp;
  for (auto& s : envText) envp.push_back(s.data());
  envp.push_back(nullptr);

  std::string path = programPath(name);
  std::vector<std::string> argText{name};
  argText.insert(argText.end(), options.args.begin(), options.args.end());
  std::vector<char*> argv;
  for (auto& s : argText) argv.push_back(s.data());
  argv.push_back(nullptr);

  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    // A test that dies takes its program with it: no endless loop outlives it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    dup2(inPipe[0], 0);
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    for (int fd : {inPipe[0], inPipe[1], outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) close(fd);
    int gone[2];
    if (options.outFile == "|") {  // a pipe whose reader is gone
      if (pipe(gone) != 0 || dup2(gone[1], 1) != 1) _exit(126);
      close(gone[0]);
      close(gone[1]);
    } else if (!options.outFile.empty()) {
      close(1);
      if (options.outFile != "-" && open(options.outFile.c_str(), O_WRONLY | O_CREAT, 0644) != 1)
        _exit(126);
    }
    if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0) _exit(126);
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGPIPE, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGHUP, SIG_DFL);
    execve(path.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  close(inPipe[0]);
  close(outPipe[1]);
  close(errPipe[1]);
  in_ = inPipe[1];
  out_ = outPipe[0];
  err_ = errPipe[0];
  fcntl(out_, F_SETFL, O_NONBLOCK);
  fcntl(err_, F_SETFL, O_NONBLOCK);
  // A program that stops reading must not kill the test with SIGPIPE.
  ::signal(SIGPIPE, SIG_IGN);
  if (!options.input.empty()) send(options.input);
  if (options.closeInput) closeInput();
}

void ProgramSession::send(const std::string& text) {
  std::size_t done = 0;
  while (done < text.size() && in_ >= 0) {
    ssize_t n = write(in_, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) {
        pump(10);
        continue;
      }
      break;  // the program has gone
    }
    done += static_cast<std::size_t>(n);
  }
}

void ProgramSession::closeInput() {
  if (in_ >= 0) close(in_);
  in_ = -1;
}

void ProgramSession::pump(int waitMs) {
  pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
  int nfds = 0;
  pollfd live[2];
  for (auto& f : fds)
    if (f.fd >= 0) live[nfds++] = f;
  if (nfds == 0) return;
  if (poll(live, static_cast<nfds_t>(nfds), waitMs) <= 0) return;
  char buf[65536];
  for (int i = 0; i < nfds; ++i) {
    if ((live[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    ssize_t n = read(live[i].fd, buf, sizeof buf);
    std::string& dest = live[i].fd == out_ ? result_.out : result_.err;
    if (n > 0) {
      dest.append(buf, static_cast<std::size_t>(n));
    } else if (n == 0) {
      if (live[i].fd == out_) {
        close(out_);
        out_ = -1;
      } else {
        close(err_);
        err_ = -1;
      }
    }
  }
}

void ProgramSession::signal(int sig) {
  if (!done_) kill(pid_, sig);
}

RunResult ProgramSession::finish(int timeoutMs) {
  if (done_) return result_;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  int status = 0;
  for (;;) {
    pump(std::min(20, std::max(1, msLeft(deadline))));
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) break;
    if (msLeft(deadline) == 0) {
      result_.timedOut = true;
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
  }
  // Drain what is left in the pipes.
  while (out_ >= 0 || err_ >= 0) {
    pollfd any[2];
    int n = 0;
    if (out_ >= 0) any[n++] = {out_, POLLIN, 0};
    if (err_ >= 0) any[n++] = {err_, POLLIN, 0};
    if (poll(any, static_cast<nfds_t>(n), 100) <= 0) break;
    pump(0);
  }
  closeInput();
  if (out_ >= 0) close(out_);
  if (err_ >= 0) close(err_);
  out_ = err_ = -1;
  runner::splitBusLine(result_);
  if (WIFEXITED(status)) result_.exitStatus = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result_.signal = WTERMSIG(status);
  done_ = true;
  return result_;
}

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "vmetest.XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

// The standard streams swapped for files, as Linux lets one assign them.
std::string withConsole(const std::string& input, const std::function<void()>& body) {
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  std::fwrite(input.data(), 1, input.size(), in);
  std::rewind(in);
  std::fflush(stdout);
  std::FILE* oldIn = stdin;
  std::FILE* oldOut = stdout;
  stdin = in;
  stdout = out;
  body();
  std::fflush(out);
  stdin = oldIn;
  stdout = oldOut;
  return runner::readAndClose(in, out);
}

void setEnv(const std::string& name, const std::string& value) {
  ::setenv(name.c_str(), value.c_str(), 1);
}
void unsetEnv(const std::string& name) { ::unsetenv(name.c_str()); }
bool hasPosixSignals() { return true; }
bool hasKernelMethod() { return true; }

}  // namespace vmetest
