// Memory for the large arrays that a job fills once (a million items read from a world file).
//
// Where the system offers it, such memory comes in large pages: filling a fresh array then costs
// one page fault every 2 MiB rather than every 4 KiB, and on some machines each fault is dear.
#pragma once

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

namespace vorlak {

// `bytes` of fresh, zero-filled memory; throws std::bad_alloc when there is none.
void* AllocateLarge(size_t bytes);
// Gives back what AllocateLarge(bytes) returned.
void FreeLarge(void* memory, size_t bytes) noexcept;

// An allocator for std::vector and the like that takes its memory from AllocateLarge. Elements
// made without a value keep the bytes already there, which in fresh memory are zeros: so
// std::vector<int, LargeAllocator<int>>(n) holds n zeros without writing them (but a vector
// shrunk and grown again holds what it held before).
template <class T>
struct LargeAllocator {
    using value_type = T;

    LargeAllocator() = default;
    template <class U>
    LargeAllocator(const LargeAllocator<U>&) {}

    T* allocate(size_t n) {
        if (n > static_cast<size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
        return static_cast<T*>(AllocateLarge(n * sizeof(T)));
    }
    void deallocate(T* memory, size_t n) noexcept { FreeLarge(memory, n * sizeof(T)); }

    template <class U>
    void construct(U* at) noexcept {
        static_assert(std::is_trivially_default_constructible_v<U>);
        ::new (static_cast<void*>(at)) U;
    }
    template <class U, class... Args>
    void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }

    template <class U>
    bool operator==(const LargeAllocator<U>&) const {
        return true;
    }
};

}  // namespace vorlak
