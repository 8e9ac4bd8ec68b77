// The runner on Windows: CreateProcess with three pipes, in a job that ends
// the program with its test.  Under wine the programs run in the test's own
// wine, as on a Windows PC.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>

#include "program_runner.h"
#include "../foundation/console_capture.h"

namespace vmetest {

using runner::Clock;
using runner::msLeft;

namespace {

HANDLE osHandle(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

int fdOf(HANDLE h) { return _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY); }

// A pipe: the child's end inherited, ours not.
void makePipe(HANDLE& read, HANDLE& write, bool childReads) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  if (!CreatePipe(&read, &write, &sa, 1 << 20)) throw std::runtime_error("CreatePipe failed");
  SetHandleInformation(childReads ? write : read, HANDLE_FLAG_INHERIT, 0);
}

// One argument as the runtime's command-line parser reads it back.
std::string quoted(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string q = "\"";
  std::size_t slashes = 0;
  for (const char c : arg) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    q.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
    slashes = 0;
    q += c;
  }
  q.append(slashes * 2, '\\');
  return q + "\"";
}

// Standard output into a scratch file that goes with the last handle: wine's
// pipes carry well under 1 MB/s, and a scan report is megabytes. The child
// writes through one handle, the test reads through the other.
bool makeOutputFile(HANDLE& read, HANDLE& write) {
  char dir[MAX_PATH + 1], path[MAX_PATH + 1];
  if (GetTempPathA(sizeof dir, dir) == 0 || GetTempFileNameA(dir, "out", 0, path) == 0) return false;
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  write = CreateFileA(path, GENERIC_WRITE, share, &sa, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY,
                      nullptr);
  if (write == INVALID_HANDLE_VALUE) return false;
  read = CreateFileA(path, GENERIC_READ, share, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (read == INVALID_HANDLE_VALUE) {
    CloseHandle(write);
    DeleteFileA(path);
    return false;
  }
  return true;
}

// Programs die with their test.
HANDLE testJob() {
  static HANDLE job = [] {
    HANDLE j = CreateJobObjectA(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION info{};
    info.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (j != nullptr)
      SetInformationJobObject(j, JobObjectExtendedLimitInformation, &info, sizeof info);
    return j;
  }();
  return job;
}

}  // namespace

ProgramSession::ProgramSession(const std::string& name, const RunOptions& options) {
  HANDLE inRead, inWrite, outRead, outWrite, errRead, errWrite;
  makePipe(inRead, inWrite, true);
  outIsFile_ = options.outFile.empty() && makeOutputFile(outRead, outWrite);
  if (!outIsFile_) makePipe(outRead, outWrite, false);
  makePipe(errRead, errWrite, false);

  std::string env;
  if (char* block = GetEnvironmentStringsA()) {
    for (const char* e = block; *e != '\0'; e += std::strlen(e) + 1)
      if (std::strncmp(e, "VME_", 4) != 0) env.append(e).push_back('\0');
    FreeEnvironmentStringsA(block);
  }
  for (const auto& [k, v] : options.env) env.append(k + "=" + v).push_back('\0');
  if (options.env.count("VME_BUS") == 0) env.append("VME_BUS=sim").push_back('\0');
  env.push_back('\0');

  std::string command = quoted(name);
  for (const std::string& a : options.args) command += " " + quoted(a);

  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE stdOut = outWrite;
  HANDLE extra = nullptr;
  if (options.outFile == "|") {  // a pipe whose reader is gone
    HANDLE goneRead;
    makePipe(goneRead, extra, false);
    CloseHandle(goneRead);
    stdOut = extra;
  } else if (options.outFile == "-") {
    stdOut = nullptr;
  } else if (!options.outFile.empty()) {
    extra = CreateFileA(options.outFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        &inherit, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (extra == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + options.outFile);
    stdOut = extra;
  }

  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = inRead;
  si.hStdOutput = stdOut;
  si.hStdError = errWrite;
  PROCESS_INFORMATION pi{};
  const std::string path = programPath(name) + ".exe";
  if (!CreateProcessA(path.c_str(), command.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                      env.data(), options.workDir.empty() ? nullptr : options.workDir.c_str(), &si,
                      &pi))
    throw std::runtime_error("CreateProcess failed: " + path);
  if (HANDLE job = testJob()) AssignProcessToJobObject(job, pi.hProcess);
  ResumeThread(pi.hThread);
  CloseHandle(pi.hThread);
  process_ = pi.hProcess;
  pid_ = static_cast<int>(pi.dwProcessId);
  CloseHandle(inRead);
  CloseHandle(outWrite);
  CloseHandle(errWrite);
  if (extra != nullptr) CloseHandle(extra);
  in_ = fdOf(inWrite);
  out_ = fdOf(outRead);
  err_ = fdOf(errRead);
  if (!options.input.empty()) send(options.input);
  if (options.closeInput) closeInput();
}

void ProgramSession::send(const std::string& text) {
  std::size_t done = 0;
  while (done < text.size() && in_ >= 0) {
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 65536));
    if (!WriteFile(osHandle(in_), text.data() + done, chunk, &n, nullptr)) break;  // gone
    done += n;
    pump(0);
  }
}

void ProgramSession::closeInput() {
  if (in_ >= 0) _close(in_);
  in_ = -1;
}

// Pipes have no poll: what is there is read, else a short sleep.
void ProgramSession::pump(int waitMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
  char buf[65536];
  for (;;) {
    bool got = false;
    for (int* fd : {&out_, &err_}) {
      if (*fd < 0) continue;
      if (fd == &out_ && outIsFile_) {
        // The end of the file is the end of output once the program has
        // ended, and only if nothing came after that was known.
        const bool ended = WaitForSingleObject(process_, 0) == WAIT_OBJECT_0;
        DWORD n = 0;
        if (ReadFile(osHandle(*fd), buf, sizeof buf, &n, nullptr) && n > 0) {
          result_.out.append(buf, n);
          got = true;
        } else if (ended) {
          _close(*fd);
          *fd = -1;
          got = true;
        }
        continue;
      }
      DWORD avail = 0;
      if (!PeekNamedPipe(osHandle(*fd), nullptr, 0, nullptr, &avail, nullptr)) {
        _close(*fd);  // the writer is gone
        *fd = -1;
        got = true;
        continue;
      }
      if (avail == 0) continue;
      DWORD n = 0;
      if (ReadFile(osHandle(*fd), buf, std::min<DWORD>(avail, sizeof buf), &n, nullptr) && n > 0) {
        (fd == &out_ ? result_.out : result_.err).append(buf, n);
        got = true;
      }
    }
    if (got || (out_ < 0 && err_ < 0) || msLeft(deadline) == 0) return;
    Sleep(std::min(5, msLeft(deadline)));
  }
}

// Windows has no signals to send: the program is ended with status 128 + sig.
void ProgramSession::signal(int sig) {
  if (!done_) TerminateProcess(process_, 128 + static_cast<UINT>(sig));
}

RunResult ProgramSession::finish(int timeoutMs) {
  if (done_) return result_;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    pump(std::min(20, std::max(1, msLeft(deadline))));
    if (WaitForSingleObject(process_, 0) == WAIT_OBJECT_0) break;
    if (msLeft(deadline) == 0) {
      result_.timedOut = true;
      TerminateProcess(process_, 137);
      WaitForSingleObject(process_, INFINITE);
      break;
    }
  }
  // What is left in the pipes.
  const auto drain = Clock::now() + std::chrono::milliseconds(2000);
  while ((out_ >= 0 || err_ >= 0) && msLeft(drain) > 0) pump(20);
  closeInput();
  if (out_ >= 0) _close(out_);
  if (err_ >= 0) _close(err_);
  out_ = err_ = -1;
  runner::splitBusLine(result_);
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  CloseHandle(process_);
  process_ = nullptr;
  if (code == 0xC000013A) {  // ended by Control-C
    result_.signal = 2;
  } else {
    result_.exitStatus = static_cast<int>(code);
  }
  done_ = true;
  return result_;
}

TempDir::TempDir() {
  std::random_device seed;
  std::mt19937 gen(seed() ^ GetCurrentProcessId());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path p =
        std::filesystem::temp_directory_path() / ("vmetest." + std::to_string(gen() % 1000000));
    std::error_code ec;
    if (std::filesystem::create_directory(p, ec)) {
      path_ = p.generic_string();
      return;
    }
  }
  throw std::runtime_error("cannot make a scratch folder");
}

// A file of its own that goes with its last handle.  The runtime's tmpfile
// names its files from a counter of its own, in the root folder: two test
// processes at once take the same name, and one gets none.
std::FILE* scratchFile() {
  char dir[MAX_PATH + 1], path[MAX_PATH + 1];
  if (GetTempPathA(sizeof dir, dir) == 0 || GetTempFileNameA(dir, "con", 0, path) == 0) return nullptr;
  HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DeleteFileA(path);
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY | _O_RDWR);
  std::FILE* f = fd < 0 ? nullptr : _fdopen(fd, "w+b");
  if (f == nullptr) (fd < 0 ? CloseHandle(h) : _close(fd));
  return f;
}

// The runtime's stdin and stdout cannot be assigned: their descriptors are
// pointed at the files for a while.
std::string withConsole(const std::string& input, const std::function<void()>& body) {
  std::FILE* in = scratchFile();
  std::FILE* out = scratchFile();
  if (in == nullptr || out == nullptr) throw std::runtime_error("cannot make a scratch file");
  std::fwrite(input.data(), 1, input.size(), in);
  std::fflush(in);
  std::rewind(in);
  std::fflush(stdout);
  const int oldIn = _dup(0), oldOut = _dup(1);
  _dup2(_fileno(in), 0);
  _dup2(_fileno(out), 1);
  std::fflush(stdin);
  std::clearerr(stdin);
  body();
  std::fflush(stdout);
  _dup2(oldOut, 1);
  _dup2(oldIn, 0);
  _close(oldIn);
  _close(oldOut);
  std::fflush(stdin);
  std::clearerr(stdin);
  return runner::readAndClose(in, out);
}

void setEnv(const std::string& name, const std::string& value) {
  _putenv_s(name.c_str(), value.c_str());
}
void unsetEnv(const std::string& name) { _putenv_s(name.c_str(), ""); }
bool hasPosixSignals() { return false; }
bool hasKernelMethod() { return false; }

}  // namespace vmetest
