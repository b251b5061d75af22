#include "model/script/variant.h"

#include "model/numtext.h"

namespace quorvant::script {

Variant Variant::WholeNumber(int64_t value) {
  if (value >= INT16_MIN && value <= INT16_MAX) return Int(static_cast<int16_t>(value));
  if (value >= INT32_MIN && value <= INT32_MAX) return Long(static_cast<int32_t>(value));
  return Dbl(static_cast<double>(value));
}

int32_t ToDouble(const Variant& v, double& out) {
  switch (v.type) {
    case VType::Null:
      return 94;
    case VType::String:
      return ParseNumericText(v.s, out) ? 0 : 13;
    case VType::Object:
      return 13;
    default:
      out = v.Number();
      return 0;
  }
}

int32_t ToText(const Variant& v, std::string& out) {
  switch (v.type) {
    case VType::Empty:
    case VType::Null:
      out.clear();
      return 0;
    case VType::Boolean:
      out = v.b ? "True" : "False";
      return 0;
    case VType::String:
      out = v.s;
      return 0;
    case VType::Object:
      return 13;
    default:
      out = FormatGeneral(v.Number());
      return 0;
  }
}

std::string_view TypeName(VType type) {
  switch (type) {
    case VType::Empty: return "Empty";
    case VType::Null: return "Null";
    case VType::Boolean: return "Boolean";
    case VType::Integer: return "Integer";
    case VType::Long: return "Long";
    case VType::Double: return "Double";
    case VType::String: return "String";
    case VType::Object: return "Object";
  }
  return "Unknown";
}

std::string DisplayText(const Variant& v) {
  switch (v.type) {
    case VType::Empty: return "Empty";
    case VType::Null: return "Null";
    case VType::Object: return "Object";
    default: {
      std::string text;
      ToText(v, text);
      return text;
    }
  }
}

}  // namespace quorvant::script
