// The values that flow between the services and the containers that hold
// them.
//
// A Value is the empty value, null, a Boolean, a 16- or 32-bit integer, a
// double, a UTF-16 text, or a shared reference to an ordered Dictionary or a
// 1-based Collection, in sixteen bytes: a document holds millions of them.
//
// Ownership. A value owns what it holds, and a value moved from is left
// empty. Texts never change and are shared: copying a Text, or a value
// holding one, shares its characters. Dictionaries and collections are made
// by MakeRef (or by the JSON reader) and shared through Ref<T>, whose count
// lives in the container: every copy of a Ref, or of a value holding one,
// refers to the same container, and the last to go destroys it and what it
// holds. A tree read from a document lies in memory the reader arranged for
// it; its parts outlive the root, and may be changed like any others.
//
// Errors. Operations raise comsvc::RuntimeError (<comsvc/runtime_error.h>)
// and nothing else: 13 (type mismatch) for a value read as another kind, 9
// (subscript out of range) for a collection index outside 1..Count(), 457
// for a key a dictionary already has, 7 (out of memory) when memory runs out.
//
// Threads. A value or container is changed by one thread at a time; a tree
// that nothing changes may be read and searched from several threads at once.
#pragma once

#include <algorithm>
#include <bit>
#include <cstring>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace comsvc {

class Dictionary;
class Collection;

// An immutable UTF-16 text, shared by every copy. The empty text needs no
// memory at all.
class Text {
 public:
  Text() = default;
  explicit Text(std::u16string_view text);

  Text(const Text& other) noexcept : block_(other.block_) {
    if (block_ != nullptr) Retain(block_);
  }
  Text(Text&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
  Text& operator=(Text other) noexcept {
    std::swap(block_, other.block_);
    return *this;
  }
  ~Text() {
    if (block_ != nullptr) Drop(block_);
  }

  std::u16string_view View() const noexcept {
    return block_ == nullptr ? std::u16string_view() : std::u16string_view(block_->Characters(), block_->length);
  }
  operator std::u16string_view() const noexcept { return View(); }
  bool empty() const noexcept { return block_ == nullptr; }

  bool operator==(std::u16string_view other) const noexcept { return View() == other; }

 protected:
  // For the library's own classes, which derive from this one to keep the
  // texts of a document in its memory. A text's characters follow this
  // header; who holds them (the text's own count of holders, or the
  // document) is the library's matter.
  struct Block {
    uint32_t length;
    uint32_t holders;  // 0 for a text in a document's memory
    const char16_t* Characters() const noexcept { return reinterpret_cast<const char16_t*>(this + 1); }
  };
  // Takes over a hold on `block` that the caller has counted.
  explicit Text(Block* block) noexcept : block_(block) {}
  static Block* BlockOf(const Text& text) noexcept { return text.block_; }

 private:
  static void Retain(Block* block) noexcept;
  static void Drop(Block* block) noexcept;

  Block* block_ = nullptr;
};

// A shared reference to a dictionary or collection, like std::shared_ptr
// without the separate count block: the count lives in the container.
template <typename T>
class Ref {
  static_assert(std::is_same_v<T, Dictionary> || std::is_same_v<T, Collection>);

 public:
  Ref() = default;
  Ref(std::nullptr_t) noexcept {}
  Ref(const Ref& other) noexcept : node_(other.node_) {
    if (node_ != nullptr) Retain(node_);
  }
  Ref(Ref&& other) noexcept : node_(std::exchange(other.node_, nullptr)) {}
  Ref& operator=(Ref other) noexcept {
    std::swap(node_, other.node_);
    return *this;
  }
  ~Ref() {
    if (node_ != nullptr) Release(node_);
  }

  T* get() const noexcept { return node_; }
  T& operator*() const noexcept { return *node_; }
  T* operator->() const noexcept { return node_; }
  explicit operator bool() const noexcept { return node_ != nullptr; }
  size_t use_count() const noexcept { return node_ == nullptr ? 0 : References(node_); }
  bool operator==(const Ref& other) const noexcept { return node_ == other.node_; }
  bool operator==(std::nullptr_t) const noexcept { return node_ == nullptr; }

 protected:
  // For the library's own classes: takes the one reference a new container
  // starts with.
  explicit Ref(T* node) noexcept : node_(node) {}

 private:
  static void Retain(T* node) noexcept;
  static void Release(T* node) noexcept;
  static size_t References(const T* node) noexcept;

  T* node_ = nullptr;
};

// A new, empty dictionary or collection; raises error 7 when memory runs out.
template <typename T>
Ref<T> MakeRef();
template <>
Ref<Dictionary> MakeRef<Dictionary>();
template <>
Ref<Collection> MakeRef<Collection>();

struct Null {
  bool operator==(const Null&) const = default;
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

 protected:
  // For the library's own classes, which derive from this one to build and
  // free the trees documents are read into.
  static constexpr size_t kShortCapacity = 7;
  // A value of `s`, at most kShortCapacity characters, made inline (the
  // public constructor makes it out of line, where constant texts raise no
  // false warnings).
  static Value ShortText(std::u16string_view s) noexcept {
    Value value;
    value.StoreShortText(s);
    return value;
  }
  // The text the value holds when it is too long to lie in the value.
  static const Text* LongText(const Value& value) noexcept {
    return value.GetTag() == Tag::kString ? &value.Handle<Text>() : nullptr;
  }

 private:
  // How the sixteen bytes are used. A text of up to seven characters, the
  // most common in documents (codes, names, short words), is kept in the
  // value itself; a longer one is a handle to a shared Text. The handles
  // come last.
  enum class Tag : uint8_t {
    kEmpty, kNull, kBoolean, kInteger, kLong, kDouble, kShortString, kString, kObject, kArray
  };
  // The second word: a short text's other three units in its first six
  // bytes, its length in the seventh, the tag in the last. It is written
  // whole and copied as a block of bytes, never a byte at a time nor paired
  // with the first word into one wider load: a value is moved right after it
  // is made, and a load of part of a store just made, or of more than one
  // store, waits for the stores to finish instead of taking their data.
  struct Rest {
    unsigned char bytes[8];
  };
  static constexpr bool kLittleEndian = std::endian::native == std::endian::little;
  static constexpr int kLengthShift = kLittleEndian ? 48 : 8;
  static constexpr int kTagShift = kLittleEndian ? 56 : 0;
  static uint64_t RestWord(size_t length, Tag tag) noexcept {
    return uint64_t{length} << kLengthShift | uint64_t{static_cast<uint8_t>(tag)} << kTagShift;
  }
  uint64_t RestBits() const noexcept {
    uint64_t word;
    std::memcpy(&word, &rest_, sizeof word);
    return word;
  }
  void SetRest(uint64_t word) noexcept { std::memcpy(&rest_, &word, sizeof word); }

  Value(Tag tag, uint64_t bits) noexcept {
    payload_.bits = bits;
    SetRest(RestWord(0, tag));
  }

  // A scalar or short text is copied as its two words.
  void CopyWords(const Value& other) noexcept {
    payload_.bits = other.payload_.bits;
    rest_ = other.rest_;
  }

  Tag GetTag() const noexcept { return static_cast<Tag>(RestBits() >> kTagShift & 0xFF); }
  void SetTag(Tag tag) noexcept { SetRest(RestWord(0, tag)); }
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
    uint64_t rest = RestWord(n, Tag::kShortString);
    if constexpr (kLittleEndian) {
      const auto [low, high] = UnitWords(s);
      payload_.bits = low;
      rest |= high;
    } else {
      payload_.bits = 0;
      std::memcpy(payload_.units, s.data(), std::min<size_t>(n, 4) * sizeof(char16_t));
      if (n > 4) std::memcpy(&rest, s.data() + 4, (n - 4) * sizeof(char16_t));
    }
    SetRest(rest);
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
  size_t ShortLength() const noexcept { return RestBits() >> kLengthShift & 0xFF; }

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
  Rest rest_;
};
static_assert(sizeof(Value) == 16);
static_assert(sizeof(Text) == sizeof(void*) && sizeof(Ref<Dictionary>) == sizeof(void*) &&
              sizeof(Ref<Collection>) == sizeof(void*));

// Dictionaries and collections are interfaces: what they hold lies in the
// library's own classes derived from them, so neither is made or destroyed
// directly, only through MakeRef and Ref.

// An ordered dictionary: exact, case-sensitive keys, members in insertion
// order, average O(1) look-up.
class Dictionary {
 public:
  using Member = std::pair<Text, Value>;
  static constexpr std::u16string_view kTypeName = u"Dictionary";

  Dictionary(const Dictionary&) = delete;
  Dictionary& operator=(const Dictionary&) = delete;

  // Adds a member at the end; a key that is present raises error 457 and
  // leaves the dictionary as it was.
  void Add(Text key, Value value);
  void Add(std::u16string_view key, Value value);
  bool Exists(std::u16string_view key) const;
  // The member's value, or nullptr when the key is absent; valid until the
  // dictionary next changes.
  const Value* Find(std::u16string_view key) const;
  Value* Find(std::u16string_view key);
  // The member's value, or the empty value when the key is absent.
  Value Item(std::u16string_view key) const;
  int32_t Count() const noexcept;
  // Valid until the dictionary next changes.
  std::span<const Member> Members() const noexcept;

 protected:
  Dictionary() = default;
  ~Dictionary() = default;
};

// A 1-based collection of values in the order added.
class Collection {
 public:
  static constexpr std::u16string_view kTypeName = u"Collection";

  Collection(const Collection&) = delete;
  Collection& operator=(const Collection&) = delete;

  void Add(Value value);
  int32_t Count() const noexcept;
  // Item by 1-based index; error 9 outside 1..Count(). Valid until the
  // collection next changes.
  const Value& Item(int32_t index) const;
  // Valid until the collection next changes.
  std::span<const Value> Items() const noexcept;

 protected:
  Collection() = default;
  ~Collection() = default;
};

}  // namespace comsvc
