// What the fuzz targets share: taking typed fields off the front of an input, and stopping
// with a clear message when a checked property fails (libFuzzer then keeps the input).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

// Fields are taken little-endian from the front; what is missing reads as zero bytes.
class fuzz_input {
 public:
  fuzz_input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t byte() {
    if (size_ == 0) return 0;
    --size_;
    return *data_++;
  }
  std::int16_t int16() {
    const std::uint16_t low = byte();
    return static_cast<std::int16_t>(low | byte() << 8);
  }
  std::vector<unsigned char> bytes(std::size_t count) {
    std::vector<unsigned char> taken(count, 0);
    for (unsigned char& b : taken) b = byte();
    return taken;
  }
  // The rest of the input.
  std::vector<unsigned char> rest() { return bytes(size_); }
  std::size_t left() const { return size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

[[noreturn]] inline void fuzz_fail(const char* target, const char* what) {
  std::fprintf(stderr, "%s: %s\n", target, what);
  std::abort();
}

// A heap block of exactly the given bytes (and as many more zero bytes as asked), so that a
// read or write past its end is a sanitizer report.
class exact_block {
 public:
  explicit exact_block(const std::vector<unsigned char>& bytes, std::size_t zeros_after = 0)
      : size_(bytes.size() + zeros_after), data_(new unsigned char[size_ == 0 ? 1 : size_]) {
    std::memset(data_, 0, size_);
    if (!bytes.empty()) std::memcpy(data_, bytes.data(), bytes.size());
  }
  exact_block(const exact_block&) = delete;
  exact_block& operator=(const exact_block&) = delete;
  ~exact_block() { delete[] data_; }
  unsigned char* data() { return data_; }
  std::size_t size() const { return size_; }
  std::vector<unsigned char> contents() const { return {data_, data_ + size_}; }

 private:
  std::size_t size_;
  unsigned char* data_;
};
