#include <comsvc/string_builder.h>

#include <limits>

#include <comsvc/runtime_error.h>
#include <comsvc/locale.h>

namespace comsvc {

namespace {

int32_t CheckedAdd(int32_t a, int32_t b) {
  int32_t sum;
  if (__builtin_add_overflow(a, b, &sum)) Raise(ErrorNumber::kOverflow);
  return sum;
}

// Code units to bytes, trapping a count that leaves the 32-bit range.
int32_t ToBytes(int64_t units) {
  int64_t bytes = units * 2;
  if (bytes > std::numeric_limits<int32_t>::max() || bytes < std::numeric_limits<int32_t>::min()) {
    Raise(ErrorNumber::kOverflow);
  }
  return static_cast<int32_t>(bytes);
}

int32_t ByteLength(std::u16string_view text) {
  if (text.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) Raise(ErrorNumber::kOverflow);
  return ToBytes(static_cast<int64_t>(text.size()));
}

size_t Units(int32_t bytes) { return static_cast<size_t>(bytes / 2); }

}  // namespace

int32_t cStringBuilder::Length() const { return used_ / 2; }
int32_t cStringBuilder::Capacity() const { return capacity_ / 2; }
int32_t cStringBuilder::ChunkSize() const { return chunk_ / 2; }

void cStringBuilder::ChunkSize(int32_t iChunkSize) {
  const int32_t bytes = ToBytes(iChunkSize);
  if (bytes <= 0) Raise(ErrorNumber::kInvalidProcedureCall);
  chunk_ = bytes;
}

std::u16string cStringBuilder::toString() const {
  return RaisingOutOfMemory([&] { return written_.substr(0, Units(used_)); });
}

std::u16string cStringBuilder::TakeString() {
  written_.resize(Units(used_));
  std::u16string content = std::move(written_);
  Clear();
  return content;
}

int32_t cStringBuilder::GrownCapacity(int32_t need) const {
  int32_t target = capacity_;
  while (target < need) target = CheckedAdd(target, chunk_);
  return target;
}

void cStringBuilder::TheString(std::u16string_view sThis) {
  const int32_t n = ByteLength(sThis);
  if (n == 0) {
    Clear();
    return;
  }
  const int32_t capacity = GrownCapacity(n);
  RaisingOutOfMemory([&] { written_.replace(0, sThis.size(), sThis); });
  capacity_ = capacity;
  used_ = n;
}

void cStringBuilder::Clear() {
  written_.clear();
  used_ = 0;
  capacity_ = 0;
}

void cStringBuilder::AppendNL(std::u16string_view sThis) {
  Append(sThis);
  Append(u"\r\n");
}

void cStringBuilder::Append(std::u16string_view sThis) {
  const int32_t need = CheckedAdd(used_, ByteLength(sThis));
  const int32_t capacity = need > capacity_ ? GrownCapacity(need) : capacity_;
  const size_t at = Units(used_);
  // A failed growth leaves the builder as it was.
  RaisingOutOfMemory([&] {
    if (at == written_.size()) {
      written_.append(sThis);
    } else {
      written_.replace(at, sThis.size(), sThis);  // over stale code units
    }
  });
  capacity_ = capacity;
  used_ = need;
}

void cStringBuilder::AppendByVal(std::u16string sThis) { Append(sThis); }

void cStringBuilder::Insert(int32_t iIndex, std::u16string_view sThis) {
  const int32_t p = ToBytes(iIndex);
  if (p < 0 || p > used_) Raise(ErrorNumber::kSubscriptOutOfRange);
  const int32_t n = ByteLength(sThis);
  const int32_t need = CheckedAdd(used_, n);
  const int32_t capacity = need > capacity_ ? GrownCapacity(need) : capacity_;
  // The tail moves up by n code units over what followed the content; stale
  // code units beyond the moved tail stay where they were.
  RaisingOutOfMemory([&] { written_.insert(Units(p), sThis); });
  written_.erase(Units(need), sThis.size());
  capacity_ = capacity;
  used_ = need;
}

void cStringBuilder::InsertByVal(int32_t iIndex, std::u16string sThis) { Insert(iIndex, sThis); }

void cStringBuilder::Remove(int32_t iIndex, int32_t lLen) {
  const int32_t p = ToBytes(iIndex);
  if (p < 0 || p > used_) Raise(ErrorNumber::kSubscriptOutOfRange);
  const int32_t e = ToBytes(static_cast<int64_t>(CheckedAdd(iIndex, lLen)));
  if (lLen < 0 || e > used_) Raise(ErrorNumber::kSubscriptOutOfRange);
  // The tail moves down; the code units it leaves behind stay as they were.
  std::char_traits<char16_t>::move(&written_[Units(p)], written_.data() + Units(e), Units(used_ - e));
  used_ -= e - p;
}

char16_t cStringBuilder::StorageUnit(size_t index) const {
  return index < written_.size() ? written_[index] : u' ';
}

bool cStringBuilder::MatchesAt(size_t index, std::u16string_view sToFind, bool ignoreCase) const {
  for (size_t k = 0; k < sToFind.size(); ++k) {
    char16_t have = StorageUnit(index + k);
    char16_t want = sToFind[k];
    if (ignoreCase) {
      have = platform::LowerCaseUnit(have);
      want = platform::LowerCaseUnit(want);
    }
    if (have != want) return false;
  }
  return true;
}

int32_t cStringBuilder::Find(std::u16string_view sToFind, int32_t lStartIndex, int32_t compare) const {
  if (compare != 0 && compare != 1) Raise(ErrorNumber::kInvalidProcedureCall);
  const int64_t start = lStartIndex >= 1 ? lStartIndex : 1;
  const int64_t length = Length();
  const int64_t storage = Capacity();
  // Only an occurrence that begins before the last code unit of the content
  // counts, though it may run on into the spare storage.
  if (sToFind.empty()) return start < length ? static_cast<int32_t>(start) : 0;
  const int64_t lastStart = std::min(length - 1, storage - static_cast<int64_t>(sToFind.size()) + 1);
  for (int64_t pos = start; pos <= lastStart; ++pos) {
    if (MatchesAt(static_cast<size_t>(pos - 1), sToFind, compare == 1)) return static_cast<int32_t>(pos);
  }
  return 0;
}

void cStringBuilder::HeapMinimize() {
  if (capacity_ - used_ <= chunk_) return;
  int32_t target = capacity_;
  while (target - used_ > chunk_) target -= chunk_;
  if (written_.size() > Units(target)) written_.resize(Units(target));
  capacity_ = target;
}

}  // namespace comsvc
