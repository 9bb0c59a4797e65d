#include <comsvc/value_text.h>

#include <comsvc/runtime_error.h>

namespace comsvc::platform {

std::u16string PlainText(const Value& value, const NumberFormat& format) {
  switch (value.Kind()) {
    case ValueKind::kEmpty:
      return {};
    case ValueKind::kNull:
      Raise(ErrorNumber::kInvalidUseOfNull);
    case ValueKind::kBoolean:
      return DefaultText(value.AsBoolean());
    case ValueKind::kInteger:
      return DefaultText(static_cast<int32_t>(value.AsInteger()));
    case ValueKind::kLong:
      return DefaultText(value.AsLong());
    case ValueKind::kDouble:
      return DefaultText(value.AsDouble(), format);
    case ValueKind::kString:
      return std::u16string(value.AsString());
    case ValueKind::kObject:
    case ValueKind::kArray:
      break;
  }
  Raise(ErrorNumber::kTypeMismatch);
}

}  // namespace comsvc::platform
