#include "mul/LargeMemory.h"

#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace vorlak {
namespace {

#if defined(__linux__)
// Below this size the ordinary heap is as good.
constexpr size_t kLargeBytes = size_t{2} << 20;
#endif

}  // namespace

void* AllocateLarge(size_t bytes) {
    if (bytes == 0) bytes = 1;
#if defined(__linux__)
    if (bytes >= kLargeBytes) {
        void* memory =
            ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) throw std::bad_alloc();
        // Only a request: without large pages the memory works all the same.
        (void)::madvise(memory, bytes, MADV_HUGEPAGE);
        return memory;
    }
#endif
    void* memory = std::calloc(bytes, 1);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

void FreeLarge(void* memory, size_t bytes) noexcept {
    if (memory == nullptr) return;
    if (bytes == 0) bytes = 1;
#if defined(__linux__)
    if (bytes >= kLargeBytes) {
        ::munmap(memory, bytes);
        return;
    }
#endif
    std::free(memory);
}

}  // namespace vorlak
