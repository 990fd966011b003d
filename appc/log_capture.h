// Test support: the log stream attached to a temporary file for the life of one object, so
// that a test can read back whole lines exactly as an operator would find them.
#pragma once

#include <cstdio>
#include <string>

#include "appc/log.h"

class log_capture {
 public:
  log_capture() : previous_(log_stream()), file_(std::tmpfile()) {
    if (file_ != nullptr) log_attach(file_);
  }
  ~log_capture() {
    log_attach(previous_);
    if (file_ != nullptr) std::fclose(file_);
  }
  log_capture(const log_capture&) = delete;
  log_capture& operator=(const log_capture&) = delete;

  bool attached() const { return file_ != nullptr; }

  // Everything written so far, flushed or not.
  std::string text() const {
    std::string contents;
    if (file_ == nullptr) return contents;
    std::fflush(file_);
    std::rewind(file_);
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file_)) > 0) contents.append(chunk, n);
    std::fseek(file_, 0, SEEK_END);
    return contents;
  }

 private:
  std::FILE* previous_;
  std::FILE* file_;
};
