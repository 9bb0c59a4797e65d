// cStringBuilder: a growable UTF-16 text buffer that takes storage ahead in
// whole chunks, so text built piece by piece is not copied at every step.
//
// Counts are kept as 32-bit signed byte counts (two bytes per code unit);
// every public number is in code units. A sum or product that leaves the
// 32-bit range raises error 6 and changes nothing; an index out of range
// raises error 9, memory running out error 7. The builder owns its storage;
// the texts it returns are copies the caller owns.
//
// The storage is `capacity` bytes long. Code units past the content are
// spare: where the storage grew they are spaces, after Remove or a shorter
// TheString they keep what stood there before. Only Find sees them.
//
// Representation: only the written prefix of the storage (the content plus
// any stale code units behind it) is held in memory; every code unit from
// the end of that prefix up to the capacity is a space and is never stored.
// So a builder that receives a short text does not pay for a whole chunk of
// spaces, yet Capacity, Find and HeapMinimize see the full storage.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace comsvc {

class cStringBuilder {
 public:
  int32_t Length() const;
  int32_t Capacity() const;
  int32_t ChunkSize() const;
  // Error 6 when the step in bytes leaves the 32-bit range. A step of zero
  // or below could never reach a growth target, so it is refused with
  // error 5 (invalid procedure call or argument). Either way the chunk
  // stays as it was.
  void ChunkSize(int32_t iChunkSize);
  std::u16string toString() const;
  // The content, leaving the builder empty: toString without the copy, for
  // a builder whose work is done.
  std::u16string TakeString();
  void TheString(std::u16string_view sThis);
  void Clear();
  void AppendNL(std::u16string_view sThis);
  void Append(std::u16string_view sThis);
  void AppendByVal(std::u16string sThis);
  // Error 9 when iIndex is negative or beyond Length.
  void Insert(int32_t iIndex, std::u16string_view sThis);
  void InsertByVal(int32_t iIndex, std::u16string sThis);
  // Error 9 when iIndex or lLen is negative, or the range ends beyond Length.
  void Remove(int32_t iIndex, int32_t lLen);
  // compare 0 matches code units exactly, 1 ignores case under the locale's
  // case mapping; any other value raises error 5. A start index below 1
  // stands for 1.
  int32_t Find(std::u16string_view sToFind, int32_t lStartIndex = 0, int32_t compare = 0) const;
  void HeapMinimize();

 private:
  static constexpr int32_t kDefaultChunkBytes = 16384;

  // Capacity in bytes after growing by whole chunks until `need` bytes fit.
  int32_t GrownCapacity(int32_t need) const;
  // The code unit at `index` of the whole storage (spaces past the prefix).
  char16_t StorageUnit(size_t index) const;
  bool MatchesAt(size_t index, std::u16string_view sToFind, bool ignoreCase) const;

  std::u16string written_;  // the storage's written prefix, content first
  int32_t chunk_ = kDefaultChunkBytes;
  int32_t used_ = 0;      // bytes of content
  int32_t capacity_ = 0;  // bytes of storage
};

}  // namespace comsvc
