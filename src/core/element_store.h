// The elements of a dictionary or collection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <type_traits>
#include <utility>

#include <comsvc/runtime_error.h>

namespace comsvc {

// `bytes` from the heap; error 7 when memory runs out, as every service
// reports it.
void* HeapAllocate(size_t bytes);

// Elements in a buffer of their own that grows geometrically, or first in
// an exact-size buffer lent by the document the container was read from;
// the first growth moves them out of it. Sixteen bytes in all: a document
// holds many small containers.
template <typename T>
class ElementStore {
  static_assert(std::is_nothrow_move_constructible_v<T>);

 public:
  // Counts stay within 31 bits, as the containers' own counts do.
  static constexpr uint32_t kMaxCapacity = INT32_MAX;

  ElementStore() = default;
  // Moves `elements`, at most kMaxCapacity of them, into `memory`, lent for
  // exactly that many.
  ElementStore(std::span<T> elements, void* memory) noexcept
      : data_(static_cast<T*>(memory)),
        size_(static_cast<uint32_t>(elements.size())),
        capacity_(size_ & kMaxCapacity),
        owned_(false) {
    std::uninitialized_move(elements.begin(), elements.end(), data_);
  }
  ElementStore(const ElementStore&) = delete;
  ElementStore& operator=(const ElementStore&) = delete;
  ~ElementStore() {
    std::destroy_n(data_, size_);
    if (owned_) ::operator delete(data_);
  }

  size_t size() const noexcept { return size_; }
  std::span<const T> View() const noexcept { return {data_, size_}; }
  std::span<T> View() noexcept { return {data_, size_}; }
  // Whether the elements lie in a buffer of their own (none when empty).
  bool Owned() const noexcept { return owned_ && data_ != nullptr; }

  // Ends the elements' lives without destroying them, for elements whose
  // destruction the caller has done or made unnecessary.
  void Forget() noexcept { size_ = 0; }

  template <typename... Args>
  void EmplaceBack(Args&&... args) {
    if (size_ == capacity_) Grow();
    std::construct_at(data_ + size_, std::forward<Args>(args)...);
    ++size_;
  }

 private:
  void Grow() {
    if (capacity_ > kMaxCapacity / 2) Raise(ErrorNumber::kOutOfMemory);
    const uint32_t capacity = capacity_ == 0 ? 1 : 2 * capacity_;
    T* data = static_cast<T*>(HeapAllocate(capacity * sizeof(T)));
    std::uninitialized_move(data_, data_ + size_, data);
    std::destroy_n(data_, size_);
    if (owned_) ::operator delete(data_);
    data_ = data;
    capacity_ = capacity & kMaxCapacity;  // within the 31-bit field
    owned_ = true;
  }

  T* data_ = nullptr;
  uint32_t size_ = 0;
  uint32_t capacity_ : 31 = 0;
  uint32_t owned_ : 1 = true;
};

}  // namespace comsvc
