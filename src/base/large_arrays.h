#pragma once
// Sizing the arrays of a large object. A million vertices take 12 MB, which the kernel hands
// out zeroed one 4 KiB page at a time on first touch: at a project's nine objects, tens of
// thousands of page faults, a sixth of the load. Arrays this large ask for huge pages before
// they are first written, so a fault brings 2 MiB.
#include <cstddef>
#include <vector>

namespace warpkit {

// From this size on an array asks for huge pages: a few of them at least, so that the tail
// left over at either end of the range is small beside what is gained.
constexpr size_t kHugePageArrayBytes = size_t{4} << 20;

// Asks the kernel to back the whole 2 MiB pages inside [data, data + bytes) with huge pages
// when first touched; only a wish, which the system may ignore (and does where it has none).
void advise_huge_pages(void* data, size_t bytes);

// array.resize(count), its new memory advised as huge pages when it is large and not yet
// allocated.
template <typename T>
void resize_large(std::vector<T>& array, size_t count) {
    if (count > array.capacity() && count * sizeof(T) >= kHugePageArrayBytes) {
        std::vector<T> fresh;
        fresh.reserve(count);
        advise_huge_pages(fresh.data(), count * sizeof(T));
        fresh.assign(array.begin(), array.end());
        array.swap(fresh);
    }
    array.resize(count);
}

}  // namespace warpkit
