#include "mul/WorkBuffer.h"

#include <sys/mman.h>

#include <new>

namespace vorlak {
namespace {

constexpr size_t kLargePage = size_t{2} << 20;

}  // namespace

WorkBuffer::WorkBuffer(size_t size) : size_(size) {
    if (size == 0) return;
    // Large pages need an aligned start; the slack before it is reserved but never touched.
    const size_t pages = (size + kLargePage - 1) / kLargePage * kLargePage;
    length_ = pages + kLargePage;
    base_ = ::mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base_ == MAP_FAILED) {
        base_ = nullptr;
        throw std::bad_alloc();
    }
    auto start = reinterpret_cast<uintptr_t>(base_);
    data_ = reinterpret_cast<uint8_t*>((start + kLargePage - 1) / kLargePage * kLargePage);
#ifdef MADV_HUGEPAGE
    // Only advice: where it is not taken, the buffer works on small pages.
    ::madvise(data_, pages, MADV_HUGEPAGE);
#endif
}

WorkBuffer::~WorkBuffer() {
    if (base_) ::munmap(base_, length_);
}

}  // namespace vorlak
