#pragma once
// A growable byte buffer for building output lines. Unlike std::string it
// never zero-fills the room it hands out, so values can be decoded straight
// into the line they belong to.
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

namespace tabrix {

class TextBuffer {
 public:
  void clear() { size_ = 0; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  char* data() { return data_.get(); }
  const char* data() const { return data_.get(); }
  std::string_view view() const { return {data_.get(), size_}; }
  char& operator[](size_t i) { return data_[i]; }

  // Room for n more bytes after the end; commit() then counts what was written.
  char* extend(size_t n) {
    if (size_ + n > capacity_) grow(size_ + n);
    return data_.get() + size_;
  }
  void commit(size_t n) { size_ += n; }
  // Cuts the buffer to n bytes (n at most the size).
  void truncate(size_t n) { size_ = n; }

  void append(const char* text, size_t n) {
    if (n == 0) return;  // an empty buffer has no storage to copy into
    std::memcpy(extend(n), text, n);
    size_ += n;
  }
  void append(std::string_view text) { append(text.data(), text.size()); }
  void push_back(char c) {
    *extend(1) = c;
    ++size_;
  }

 private:
  void grow(size_t needed) {
    size_t capacity = capacity_ ? capacity_ : 256;
    while (capacity < needed) capacity *= 2;
    std::unique_ptr<char[]> bigger(new char[capacity]);
    if (size_) std::memcpy(bigger.get(), data_.get(), size_);
    data_ = std::move(bigger);
    capacity_ = capacity;
  }

  std::unique_ptr<char[]> data_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace tabrix
