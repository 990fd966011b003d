#include "platform/node/exec_command.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <memory>

namespace {

constexpr auto reap_interval = std::chrono::milliseconds(5);
constexpr int highest_inherited_descriptor = 4096;

class running_command : public std::enable_shared_from_this<running_command> {
 public:
  running_command(asio::io_context& io, std::vector<unsigned char> input, std::size_t max_output,
                  std::function<void(exec_result)> done)
      : input_(std::move(input)), max_output_(max_output), done_(std::move(done)),
        to_child_(io), from_child_(io), deadline_(io), reaper_(io) {}

  ~running_command() {
    if (pid_ > 0) {
      kill(-pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  void start(const std::string& command, int time_limit_ms) {
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return fail("no pipe for the command");
    if (pipe2(out, O_CLOEXEC) != 0) {
      close(in[0]);
      close(in[1]);
      return fail("no pipe for the command");
    }
    pid_t pid = fork();
    if (pid == 0) {
      dup2(in[0], STDIN_FILENO);
      dup2(out[1], STDOUT_FILENO);
      setpgid(0, 0);
      for (int fd = STDERR_FILENO + 1; fd < highest_inherited_descriptor; ++fd) close(fd);
      signal(SIGPIPE, SIG_DFL);
      execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    if (pid < 0) {
      close(in[1]);
      close(out[0]);
      return fail("cannot start the command");
    }
    setpgid(pid, pid);
    pid_ = pid;
    to_child_.assign(in[1]);
    from_child_.assign(out[0]);
    deadline_.expires_after(std::chrono::milliseconds(time_limit_ms));
    auto self = shared_from_this();
    deadline_.async_wait([self](const asio::error_code& error) {
      if (error || self->pid_ <= 0) return;
      self->timed_out_ = true;
      kill(-self->pid_, SIGKILL);
    });
    write_input();
    read_output();
  }

 private:
  void write_input() {
    if (input_.empty()) {
      to_child_.close();
      return;
    }
    auto self = shared_from_this();
    asio::async_write(to_child_, asio::buffer(input_),
                      [self](const asio::error_code&, std::size_t) {
                        // A command that stops reading early just loses the rest.
                        asio::error_code ignored;
                        self->to_child_.close(ignored);
                      });
  }

  void read_output() {
    auto self = shared_from_this();
    from_child_.async_read_some(asio::buffer(chunk_), [self](const asio::error_code& error,
                                                             std::size_t length) {
      std::size_t room = self->max_output_ - self->result_.output.size();
      std::size_t kept = std::min(room, length);
      self->result_.output.insert(self->result_.output.end(), self->chunk_.begin(),
                                  self->chunk_.begin() + static_cast<long>(kept));
      if (kept < length) self->result_.truncated = true;
      if (error) {
        asio::error_code ignored;
        self->from_child_.close(ignored);
        return self->reap();
      }
      self->read_output();
    });
  }

  // The output is complete; waits for the command itself to end (the deadline still holds).
  void reap() {
    int status = 0;
    pid_t reaped = waitpid(pid_, &status, WNOHANG);
    if (reaped == 0) {
      auto self = shared_from_this();
      reaper_.expires_after(reap_interval);
      reaper_.async_wait([self](const asio::error_code& error) {
        if (!error) self->reap();
      });
      return;
    }
    pid_ = -1;
    deadline_.cancel();
    if (timed_out_) {
      result_.failure = "killed at its time limit";
    } else {
      result_.completed = true;
      if (reaped > 0 && WIFEXITED(status)) result_.exit_status = WEXITSTATUS(status);
    }
    finish();
  }

  void fail(const char* why) {
    result_.failure = why;
    finish();
  }

  void finish() {
    auto done = std::move(done_);
    done_ = nullptr;
    if (done) done(std::move(result_));
  }

  std::vector<unsigned char> input_;
  std::size_t max_output_;
  std::function<void(exec_result)> done_;
  asio::posix::stream_descriptor to_child_;
  asio::posix::stream_descriptor from_child_;
  asio::steady_timer deadline_;
  asio::steady_timer reaper_;
  std::array<unsigned char, 4096> chunk_{};
  exec_result result_;
  pid_t pid_ = -1;
  bool timed_out_ = false;
};

}  // namespace

void exec_command(asio::io_context& io, const std::string& command,
                  std::vector<unsigned char> input, int time_limit_ms, std::size_t max_output,
                  std::function<void(exec_result)> done) {
  auto run = std::make_shared<running_command>(io, std::move(input), max_output, std::move(done));
  run->start(command, time_limit_ms);
}
