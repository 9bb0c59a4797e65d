// cStringBuilder: a growable UTF-16 text buffer that takes storage ahead in
// whole chunks, so text built piece by piece is not copied at every step.
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
  void ChunkSize(int32_t iChunkSize);
  std::u16string toString() const;
  void TheString(std::u16string_view sThis);
  void Clear();
  void AppendNL(std::u16string_view sThis);
  void Append(std::u16string_view sThis);
  void AppendByVal(std::u16string sThis);
  void Insert(int32_t iIndex, std::u16string_view sThis);
  void InsertByVal(int32_t iIndex, std::u16string sThis);
  void Remove(int32_t iIndex, int32_t lLen);
  int32_t Find(std::u16string_view sToFind, int32_t lStartIndex = 0, int32_t compare = 0) const;
  void HeapMinimize();
};

}  // namespace comsvc
