// The formula language's value: one of its subtypes, with the language's coercions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvant::script {

class HostObject;

enum class VType : uint8_t { Empty, Null, Boolean, Integer, Long, Double, String, Object };

struct Variant {
  VType type = VType::Empty;
  union {
    bool b;
    int16_t i;
    int32_t l;
    double d;
    HostObject* obj;
  };
  std::string s;  // the text of a String

  Variant() : d(0) {}
  static Variant Null() { Variant v; v.type = VType::Null; return v; }
  static Variant Bool(bool value) { Variant v; v.type = VType::Boolean; v.b = value; return v; }
  static Variant Int(int16_t value) { Variant v; v.type = VType::Integer; v.i = value; return v; }
  static Variant Long(int32_t value) { Variant v; v.type = VType::Long; v.l = value; return v; }
  static Variant Dbl(double value) { Variant v; v.type = VType::Double; v.d = value; return v; }
  static Variant Str(std::string text) {
    Variant v;
    v.type = VType::String;
    v.s = std::move(text);
    return v;
  }
  static Variant Obj(HostObject* object) { Variant v; v.type = VType::Object; v.obj = object; return v; }
  // The smallest whole-number subtype that holds `value` (Integer, then Long), else Double.
  static Variant WholeNumber(int64_t value);

  bool IsNumeric() const {  // Empty, Boolean and the number subtypes take part in arithmetic
    return type != VType::Null && type != VType::String && type != VType::Object;
  }
  // Numeric value of Empty, Boolean, Integer, Long or Double (the caller checked IsNumeric).
  double Number() const {
    switch (type) {
      case VType::Double: return d;
      case VType::Integer: return i;
      case VType::Long: return l;
      case VType::Boolean: return b ? -1.0 : 0.0;
      default: return 0.0;
    }
  }
};

// Converts to Double by the language's rules: Empty 0, True -1, False 0, the number
// subtypes their value, a text that reads as a number that number; Null fails with
// 94 and anything else with 13. Returns 0 or the error number.
int32_t ToDouble(const Variant& v, double& out);

// Text of a value as the concatenation operator writes it (Null and Empty give "").
// Fails with 13 for an object.
int32_t ToText(const Variant& v, std::string& out);

// The subtype's name as the language's TypeName gives it ("Double", "Empty", ...).
std::string_view TypeName(VType type);

// The value written for a user: texts as they are, True/False, Empty, Null, numbers
// in the general format.
std::string DisplayText(const Variant& v);

}  // namespace quorvant::script
