// The variant that flows between the services: the empty value, null, a
// Boolean, a 16- or 32-bit integer, a double, a UTF-16 string, or a shared
// reference to an ordered dictionary or a 1-based collection. A value takes
// sixteen bytes: a document holds millions of them.
#pragma once

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace comsvc {

class Dictionary;
class Collection;
class DocumentArena;
template <typename T>
class Ref;
namespace detail {
class SharedNodes;
}

// An immutable UTF-16 text shared by every value that holds it: copying
// one shares its characters. A text read from a document lies in that
// document's arena and holds the arena; any other has a block of its own,
// freed with its last holder. The empty text needs no memory at all.
class Text {
 public:
  Text() = default;
  explicit Text(std::u16string_view text);

  Text(const Text& other) noexcept : block_(other.block_) { Retain(); }
  Text(Text&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
  Text& operator=(Text other) noexcept {
    std::swap(block_, other.block_);
    return *this;
  }
  ~Text() {
    if (block_ != nullptr) Drop();
  }

  std::u16string_view View() const noexcept {
    return block_ == nullptr ? std::u16string_view() : std::u16string_view(block_->Characters(), block_->length);
  }
  operator std::u16string_view() const noexcept { return View(); }
  bool empty() const noexcept { return block_ == nullptr; }

  friend bool operator==(const Text& a, std::u16string_view b) noexcept { return a.View() == b; }

 private:
  friend class detail::SharedNodes;
  // A text's characters follow its header. A block in an arena holds the
  // arena, once per holder of the text; a block of its own counts its
  // holders.
  struct Block {
    DocumentArena* arena;
    std::atomic<uint32_t> holders;
    uint32_t length;
    char16_t* Characters() noexcept { return reinterpret_cast<char16_t*>(this + 1); }
    const char16_t* Characters() const noexcept { return reinterpret_cast<const char16_t*>(this + 1); }
  };

  explicit Text(Block* block) noexcept : block_(block) {}
  static size_t BlockBytes(std::u16string_view text);
  void Retain() const noexcept;
  void Drop() noexcept;

  // Lets go of the text without giving back its hold, if it lies in
  // `arena`; the caller gives back the holds of many such texts at once.
  bool LetGoIn(const DocumentArena* arena) noexcept {
    if (block_ == nullptr || block_->arena != arena) return false;
    block_ = nullptr;
    return true;
  }

  Block* block_ = nullptr;
};

namespace detail {

// Tells a document's arena that its tree is no longer as it was read.
void NoteChangeIn(DocumentArena* arena) noexcept;

// The count of the references to a dictionary or collection, and the
// document whose arena holds it (none for one made on its own).
class SharedNode {
 protected:
  SharedNode() = default;
  SharedNode(const SharedNode&) = delete;
  SharedNode& operator=(const SharedNode&) = delete;
  ~SharedNode() = default;

  // A node of a document tells the document of every change to it and of
  // every reference to it made after the read, so that a tree still as
  // read can be given back whole (see SharedNodes::Release).
  void NoteChange() const noexcept {
    if (arena_ != nullptr) NoteChangeIn(arena_);
  }

 private:
  template <typename T>
  friend class comsvc::Ref;
  friend class SharedNodes;
  void AddReference() noexcept {
    references_.fetch_add(1, std::memory_order_relaxed);
    NoteChange();
  }

  std::atomic<size_t> references_{1};
  DocumentArena* arena_ = nullptr;
};

// Drops one reference; the last destroys the node and gives its memory
// back to the heap or to its document.
void Release(Dictionary* node) noexcept;
void Release(Collection* node) noexcept;

}  // namespace detail

// A shared reference to a dictionary or collection, like std::shared_ptr
// without the separate count block: the count lives in the node. Copies
// share the node; the last one to go destroys it.
template <typename T>
class Ref {
 public:
  Ref() = default;
  Ref(std::nullptr_t) {}
  Ref(const Ref& other) noexcept : node_(other.node_) {
    if (node_ != nullptr) node_->AddReference();
  }
  Ref(Ref&& other) noexcept : node_(std::exchange(other.node_, nullptr)) {}
  Ref& operator=(Ref other) noexcept {
    std::swap(node_, other.node_);
    return *this;
  }
  ~Ref() {
    if (node_ != nullptr) detail::Release(node_);
  }

  T* get() const noexcept { return node_; }
  T& operator*() const noexcept { return *node_; }
  T* operator->() const noexcept { return node_; }
  explicit operator bool() const noexcept { return node_ != nullptr; }
  size_t use_count() const noexcept {
    return node_ == nullptr ? 0 : node_->references_.load(std::memory_order_relaxed);
  }
  friend bool operator==(const Ref& a, const Ref& b) noexcept { return a.node_ == b.node_; }
  friend bool operator==(const Ref& a, std::nullptr_t) noexcept { return a.node_ == nullptr; }

  // A reference to a new node, made on the heap.
  template <typename... Args>
  static Ref Make(Args&&... args) {
    return Ref(new T(std::forward<Args>(args)...));
  }

 private:
  friend class detail::SharedNodes;
  // Takes the one reference a new node starts with.
  explicit Ref(T* node) noexcept : node_(node) {}
  T* node_ = nullptr;
};

// A new, empty dictionary or collection, shared by the references made
// from the one returned.
template <typename T, typename... Args>
Ref<T> MakeRef(Args&&... args) {
  return Ref<T>::Make(std::forward<Args>(args)...);
}

struct Null {
  friend bool operator==(Null, Null) { return true; }
};

enum class ValueKind : uint8_t { kEmpty, kNull, kBoolean, kInteger, kLong, kDouble, kString, kObject, kArray };

class Value {
 public:
  Value() noexcept : Value(Tag::kEmpty, 0) {}
  Value(Null) noexcept : Value(Tag::kNull, 0) {}
  Value(bool b) noexcept : Value(Tag::kBoolean, b ? 1 : 0) {}
  Value(int16_t i) noexcept : Value(Tag::kInteger, static_cast<uint16_t>(i)) {}
  Value(int32_t i) noexcept : Value(Tag::kLong, static_cast<uint32_t>(i)) {}
  Value(double d) noexcept : Value(Tag::kDouble, std::bit_cast<uint64_t>(d)) {}
  Value(const std::u16string& s) : Value(std::u16string_view(s)) {}
  Value(const char16_t* s) : Value(std::u16string_view(s)) {}
  explicit Value(std::u16string_view s) {
    if (s.size() <= kShortCapacity) {
      SetShortText(s);
    } else {
      SetHandle(Tag::kString, Text(s));
    }
  }
  Value(Text s) noexcept {
    if (s.View().size() <= kShortCapacity) {
      SetShortText(s.View());
    } else {
      SetHandle(Tag::kString, std::move(s));
    }
  }
  Value(Ref<Dictionary> d) noexcept { SetHandle(Tag::kObject, std::move(d)); }
  Value(Ref<Collection> c) noexcept { SetHandle(Tag::kArray, std::move(c)); }

  Value(const Value& other) noexcept { CopyFrom(other); }
  // A value moved from is left empty.
  Value(Value&& other) noexcept { MoveFrom(other); }
  Value& operator=(const Value& other) {
    if (this != &other) *this = Value(other);
    return *this;
  }
  Value& operator=(Value&& other) noexcept {
    if (this != &other) {
      DestroyHandle();
      MoveFrom(other);
    }
    return *this;
  }
  ~Value() { DestroyHandle(); }

  ValueKind Kind() const {
    // The tags past the short text are the kinds one further on.
    const auto tag = static_cast<uint8_t>(GetTag());
    return static_cast<ValueKind>(tag - (tag > static_cast<uint8_t>(Tag::kShortString)));
  }
  bool IsEmpty() const { return Kind() == ValueKind::kEmpty; }
  bool IsNull() const { return Kind() == ValueKind::kNull; }
  bool IsString() const { return Kind() == ValueKind::kString; }
  bool IsObject() const { return Kind() == ValueKind::kObject; }
  bool IsArray() const { return Kind() == ValueKind::kArray; }
  bool IsNumber() const {
    auto k = Kind();
    return k == ValueKind::kInteger || k == ValueKind::kLong || k == ValueKind::kDouble;
  }

  // Accessors for a known kind; the caller checks Kind() first. Any other
  // kind raises error 13 (type mismatch). A text's view lasts as long as
  // the value holds it, and moves with a short one.
  bool AsBoolean() const { return Bits(Tag::kBoolean) != 0; }
  int16_t AsInteger() const { return static_cast<int16_t>(static_cast<uint16_t>(Bits(Tag::kInteger))); }
  int32_t AsLong() const { return static_cast<int32_t>(static_cast<uint32_t>(Bits(Tag::kLong))); }
  double AsDouble() const { return std::bit_cast<double>(Bits(Tag::kDouble)); }
  std::u16string_view AsString() const {
    if (GetTag() == Tag::kShortString) return {ShortUnits(), ShortLength()};
    Expect(Tag::kString);
    return Handle<Text>().View();
  }
  const Ref<Dictionary>& AsObject() const {
    Expect(Tag::kObject);
    return Handle<Ref<Dictionary>>();
  }
  const Ref<Collection>& AsArray() const {
    Expect(Tag::kArray);
    return Handle<Ref<Collection>>();
  }

  // The value as a double, for the numeric kinds.
  double NumberValue() const;

  // The type name a host would see: "Empty", "Null", "Boolean", "Integer",
  // "Long", "Double", "String", "Dictionary", "Collection".
  std::u16string_view TypeName() const;

 private:
  friend class detail::SharedNodes;

  // How the sixteen bytes are used. A text of up to seven characters, the
  // most common in documents (codes, names, short words), is kept in the
  // value itself; a longer one is a handle to a shared Text. The handles
  // come last.
  enum class Tag : uint8_t {
    kEmpty, kNull, kBoolean, kInteger, kLong, kDouble, kShortString, kString, kObject, kArray
  };
  static constexpr size_t kShortCapacity = 7;

  Value(Tag tag, uint64_t bits) noexcept {
    payload_.bits = bits;
    rest_ = {{}, 0, tag};
  }

  // A scalar or short text is copied as its two words.
  void CopyWords(const Value& other) noexcept {
    payload_.bits = other.payload_.bits;
    rest_ = other.rest_;
  }

  Tag GetTag() const noexcept { return rest_.tag; }
  void SetTag(Tag tag) noexcept { rest_.tag = tag; }
  bool HoldsHandle() const noexcept { return GetTag() >= Tag::kString; }

  void Expect(Tag tag) const {
    if (GetTag() != tag) RaiseWrongKind();
  }
  [[noreturn]] static void RaiseWrongKind();
  uint64_t Bits(Tag tag) const {
    Expect(tag);
    return payload_.bits;
  }

  void SetShortText(std::u16string_view s) noexcept;
  void StoreShortText(std::u16string_view s) noexcept {
    const size_t n = s.size();
    if constexpr (std::endian::native == std::endian::little) {
      const auto [low, high] = UnitWords(s);
      std::memcpy(payload_.units, &low, sizeof low);
      std::memcpy(rest_.units, &high, sizeof rest_.units);
    } else {
      payload_.bits = 0;
      rest_ = {};
      std::memcpy(payload_.units, s.data(), std::min<size_t>(n, 4) * sizeof(char16_t));
      if (n > 4) std::memcpy(rest_.units, s.data() + 4, (n - 4) * sizeof(char16_t));
    }
    rest_.length = static_cast<uint8_t>(n);
    rest_.tag = Tag::kShortString;
  }
  // The units of a text of up to seven, as the two words that hold units
  // 0-3 and 4-6 on a little-endian host, from at most four loads of a fixed
  // size (overlapping when the text is short), none past the text.
  static std::pair<uint64_t, uint64_t> UnitWords(std::u16string_view s) noexcept {
    const char16_t* const p = s.data();
    const size_t n = s.size();
    if (n >= 4) {
      const uint64_t tail = Load<uint64_t>(p + n - 4);  // units n-4 to n-1
      return {Load<uint64_t>(p), n == 4 ? 0 : tail >> 16 * (8 - n)};
    }
    if (n >= 2) return {Load<uint32_t>(p) | uint64_t{Load<uint32_t>(p + n - 2)} << 16 * (n - 2), 0};
    return {n == 1 ? uint64_t{p[0]} : 0, 0};
  }
  template <typename T>
  static T Load(const char16_t* from) noexcept {
    T word;
    std::memcpy(&word, from, sizeof word);
    return word;
  }
  // The units run on from the payload's four into the rest's three.
  const char16_t* ShortUnits() const noexcept { return payload_.units; }
  size_t ShortLength() const noexcept { return rest_.length; }

  template <typename H>
  void SetHandle(Tag tag, H&& handle) noexcept {
    std::construct_at(&Handle<std::remove_cvref_t<H>>(), std::forward<H>(handle));
    SetTag(tag);
  }
  template <typename H>
  H& Handle() noexcept {
    return const_cast<H&>(std::as_const(*this).Handle<H>());
  }
  template <typename H>
  const H& Handle() const noexcept {
    if constexpr (std::is_same_v<H, Text>) {
      return payload_.text;
    } else if constexpr (std::is_same_v<H, Ref<Dictionary>>) {
      return payload_.object;
    } else {
      return payload_.array;
    }
  }

  // Whether the value holds nothing that its destruction would give back.
  bool Inert() const noexcept {
    switch (GetTag()) {
      case Tag::kString: return Handle<Text>().empty();
      case Tag::kObject: return !Handle<Ref<Dictionary>>();
      case Tag::kArray: return !Handle<Ref<Collection>>();
      default: return true;
    }
  }

  // The reader moves every value it reads several times. A handle is one
  // pointer, handed over as it is, so a move copies the two words whatever
  // the value holds, with no branch on its tag, and leaves the value moved
  // from empty.
  void MoveFrom(Value& other) noexcept {
    CopyWords(other);
    other.SetTag(Tag::kEmpty);
  }
  // Copies and destruction are written out by tag, rather than left to a
  // variant's visitor. A scalar or short text, the common case, is its
  // bytes.
  void CopyFrom(const Value& other) noexcept {
    if (!other.HoldsHandle()) {
      CopyWords(other);
      return;
    }
    switch (other.GetTag()) {
      case Tag::kString: SetHandle(Tag::kString, other.Handle<Text>()); break;
      case Tag::kObject: SetHandle(Tag::kObject, other.Handle<Ref<Dictionary>>()); break;
      case Tag::kArray: SetHandle(Tag::kArray, other.Handle<Ref<Collection>>()); break;
      default: break;
    }
  }
  void DestroyHandle() noexcept {
    if (!HoldsHandle()) return;
    switch (GetTag()) {
      case Tag::kString: std::destroy_at(&Handle<Text>()); break;
      case Tag::kObject: std::destroy_at(&Handle<Ref<Dictionary>>()); break;
      case Tag::kArray: std::destroy_at(&Handle<Ref<Collection>>()); break;
      default: break;
    }
  }

  // A scalar's bits, a handle, or a short text's first four units.
  union Payload {
    Payload() noexcept {}
    ~Payload() {}
    uint64_t bits;
    Text text;
    Ref<Dictionary> object;
    Ref<Collection> array;
    char16_t units[4];
  } payload_;
  // A short text's other three units and its length; the tag.
  struct Rest {
    char16_t units[3];
    uint8_t length;
    Tag tag;
  } rest_;
};
static_assert(sizeof(Value) == 16);
static_assert(sizeof(Text) == sizeof(void*) && sizeof(Ref<Dictionary>) == sizeof(void*) &&
              sizeof(Ref<Collection>) == sizeof(void*));

namespace detail {

// The elements of a dictionary or collection, in a buffer of their own that
// grows geometrically, or first in an exact-size buffer lent by the document
// the container was read from; the first growth moves them out of it.
template <typename T>
class ElementStore {
  static_assert(std::is_nothrow_move_constructible_v<T>);

 public:
  ElementStore() = default;
  ElementStore(const ElementStore&) = delete;
  ElementStore& operator=(const ElementStore&) = delete;
  ~ElementStore() {
    std::destroy_n(data_, size_);
    if (owned_) ::operator delete(data_);
  }

  size_t size() const { return size_; }
  const T& operator[](size_t i) const { return data_[i]; }
  std::span<const T> View() const { return {data_, size_}; }
  std::span<T> View() { return {data_, size_}; }

  // Ends the elements' lives without destroying them, for elements whose
  // destruction would do nothing.
  void Forget() noexcept { size_ = 0; }

  template <typename... Args>
  void EmplaceBack(Args&&... args) {
    if (size_ == capacity_) Grow();
    std::construct_at(data_ + size_, std::forward<Args>(args)...);
    ++size_;
  }

  // Moves `elements` into `memory`, room for exactly that many, while the
  // store is still empty.
  void AdoptInto(std::span<T> elements, void* memory) {
    if (elements.size() > kMaxCapacity) throw std::bad_alloc();
    data_ = std::uninitialized_move(elements.begin(), elements.end(), static_cast<T*>(memory));
    data_ -= elements.size();
    size_ = static_cast<uint32_t>(elements.size());
    capacity_ = size_ & kMaxCapacity;
    owned_ = false;
  }

 private:
  // Counts stay within 31 bits, as the containers' own counts do.
  static constexpr uint32_t kMaxCapacity = INT32_MAX;

  void Grow() {
    if (capacity_ > kMaxCapacity / 2) throw std::bad_alloc();
    const uint32_t capacity = capacity_ == 0 ? 1 : 2 * capacity_;
    T* data = static_cast<T*>(::operator new(capacity * sizeof(T)));
    std::uninitialized_move(data_, data_ + size_, data);
    std::destroy_n(data_, size_);
    if (owned_) ::operator delete(data_);
    data_ = data;
    capacity_ = capacity & kMaxCapacity;  // within the 31-bit field
    owned_ = true;
  }

  // Sixteen bytes in all: a document holds many small containers.
  T* data_ = nullptr;
  uint32_t size_ = 0;
  uint32_t capacity_ : 31 = 0;
  uint32_t owned_ : 1 = true;
};

}  // namespace detail

// An ordered dictionary: exact, case-sensitive keys, members in insertion
// order, average O(1) look-up. Adding a key that is present raises error 457
// and leaves the dictionary as it was.
class Dictionary : public detail::SharedNode {
 public:
  using Member = std::pair<Text, Value>;
  static constexpr std::u16string_view kTypeName = u"Dictionary";

  Dictionary() = default;
  ~Dictionary();

  void Add(Text key, Value value);
  void Add(std::u16string_view key, Value value) { Add(Text(key), std::move(value)); }
  bool Exists(std::u16string_view key) const { return Lookup(key) != kNone; }
  // The member's value, or nullptr when the key is absent.
  const Value* Find(std::u16string_view key) const;
  Value* Find(std::u16string_view key);
  // The member's value, or the empty value when the key is absent.
  Value Item(std::u16string_view key) const;
  int32_t Count() const { return static_cast<int32_t>(members_.size()); }
  std::span<const Member> Members() const { return members_.View(); }
  // Takes `members`, whose keys the caller has found distinct, into an
  // empty dictionary, in memory from `arena`.
  void AdoptDistinct(std::span<Member> members, DocumentArena& arena);

 private:
  friend class detail::SharedNodes;
  struct Index;
  static constexpr uint32_t kNone = UINT32_MAX;
  // Below this size a linear scan over the keys costs about what hashing
  // would, and no index is kept: most objects in documents are this small.
  static constexpr size_t kIndexThreshold = 16;

  uint32_t Lookup(std::u16string_view key) const;
  // The index, made at the first look-up that needs one; nullptr below the
  // threshold.
  const Index* IndexFor() const;
  Index* MakeIndex(size_t slots) const;

  detail::ElementStore<Member> members_;
  // A dictionary read from a document is usually walked, seldom searched,
  // so its index is made by the first search, and a search on a shared
  // tree may be the first on several threads at once: the first index
  // published wins.
  mutable std::atomic<Index*> index_{nullptr};
};

// A 1-based collection of values in the order added.
class Collection : public detail::SharedNode {
 public:
  static constexpr std::u16string_view kTypeName = u"Collection";

  void Add(Value value) {
    NoteChange();
    items_.EmplaceBack(std::move(value));
  }
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // Item by 1-based index; error 9 outside 1..Count().
  const Value& Item(int32_t index) const;
  std::span<const Value> Items() const { return items_.View(); }
  // Takes `items` into an empty collection, in memory from `arena`.
  void Adopt(std::span<Value> items, DocumentArena& arena);

 private:
  friend class detail::SharedNodes;
  detail::ElementStore<Value> items_;
};

}  // namespace comsvc
