// Scratch memory for the working set of a long job.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vorlak {

// `size` bytes of zeros, on large pages where the system offers them: the first touch of every
// fresh page costs a fault, and a large page spares the faults of hundreds of small ones. The
// bytes live as long as the buffer. Throws std::bad_alloc when the memory cannot be had.
class WorkBuffer {
  public:
    explicit WorkBuffer(size_t size);
    ~WorkBuffer();
    WorkBuffer(const WorkBuffer&) = delete;
    WorkBuffer& operator=(const WorkBuffer&) = delete;

    std::span<uint8_t> bytes() { return {data_, size_}; }

  private:
    void* base_ = nullptr;
    size_t length_ = 0;  // of the whole reservation
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace vorlak
