#pragma once
// Hands a vector's memory back, not only its elements: clear() keeps the capacity, and the
// per-object arrays of a large mesh must not outlive the object they were made for.
#include <vector>

namespace warpkit {

template <typename T>
void free_array(std::vector<T>& array) {
    std::vector<T>().swap(array);
}

}  // namespace warpkit
