// The formula language's value: one of its subtypes, with the language's coercions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvant::script {

class HostObject;

enum class VType : uint8_t {
  Empty,
  Null,
  Boolean,
  Byte,      // 0..255
  Integer,   // 16 bits
  Long,      // 32 bits
  Single,    // IEEE binary32
  Double,    // IEEE binary64
  Currency,  // 64-bit count of ten-thousandths
  String,
  Object,
};

// Longest text a value may hold; building a longer one (Space, String, Replace, "&")
// is Out of memory (7).
inline constexpr size_t kMaxTextLength = size_t{1} << 24;

// Currency values are whole numbers of ten-thousandths.
inline constexpr int64_t kCurrencyScale = 10000;

// A Currency's value as the nearest double.
double CurrencyToDouble(int64_t scaled);

struct Variant {
  VType type = VType::Empty;
  union {
    bool b;
    uint8_t by;
    int16_t i;
    int32_t l;
    float f;
    double d;
    int64_t cy;  // the value times kCurrencyScale
    HostObject* obj;
  };
  std::string s;  // the text of a String

  Variant() : d(0) {}
  static Variant Null() {
    Variant v;
    v.type = VType::Null;
    return v;
  }
  static Variant Bool(bool value) {
    Variant v;
    v.type = VType::Boolean;
    v.b = value;
    return v;
  }
  static Variant Byte(uint8_t value) {
    Variant v;
    v.type = VType::Byte;
    v.by = value;
    return v;
  }
  static Variant Int(int16_t value) {
    Variant v;
    v.type = VType::Integer;
    v.i = value;
    return v;
  }
  static Variant Long(int32_t value) {
    Variant v;
    v.type = VType::Long;
    v.l = value;
    return v;
  }
  static Variant Sng(float value) {
    Variant v;
    v.type = VType::Single;
    v.f = value;
    return v;
  }
  static Variant Dbl(double value) {
    Variant v;
    v.type = VType::Double;
    v.d = value;
    return v;
  }
  // A Currency from its count of ten-thousandths.
  static Variant Cur(int64_t scaled) {
    Variant v;
    v.type = VType::Currency;
    v.cy = scaled;
    return v;
  }
  static Variant Str(std::string text) {
    Variant v;
    v.type = VType::String;
    v.s = std::move(text);
    return v;
  }
  static Variant Obj(HostObject* object) {
    Variant v;
    v.type = VType::Object;
    v.obj = object;
    return v;
  }
  // The smallest whole-number subtype that holds `value` (Integer, then Long), else Double.
  static Variant WholeNumber(int64_t value);

  bool IsNumeric() const {  // Empty, Boolean and the number subtypes take part in arithmetic
    return type != VType::Null && type != VType::String && type != VType::Object;
  }
  // Numeric value of Empty, Boolean or a number subtype (the caller checked
  // IsNumeric); a Currency gives the double nearest to it.
  double Number() const {
    switch (type) {
      case VType::Double:
        return d;
      case VType::Integer:
        return i;
      case VType::Long:
        return l;
      case VType::Boolean:
        return b ? -1.0 : 0.0;
      case VType::Byte:
        return by;
      case VType::Single:
        return f;
      case VType::Currency:
        return CurrencyToDouble(cy);
      default:
        return 0.0;
    }
  }
};

// Converts to Double by the language's rules: Empty 0, True -1, False 0, the number
// subtypes their value, a text that reads as a number that number; Null fails with
// 94 and anything else with 13. Returns 0 or the error number.
int32_t ToDouble(const Variant& v, double& out);

// Converts to Currency (ten-thousandths): the value is scaled by 10000 and rounded
// half to even; beyond the Currency range is an Overflow (6). Null fails with 94, a
// text that is no number with 13.
int32_t ToCurrency(const Variant& v, int64_t& out);
// The exact value of a double in ten-thousandths, rounded half to even, or 6 out of
// range.
int32_t CurrencyFromDouble(double x, int64_t& out);

// Text of a value as the concatenation operator writes it (Null and Empty give "").
// Fails with 13 for an object.
int32_t ToText(const Variant& v, std::string& out);

// The subtype's name as the language's TypeName gives it ("Double", "Empty", ...).
std::string_view TypeName(VType type);
// The subtype's number as the language's VarType gives it (0 Empty ... 17 Byte).
int16_t VarTypeNumber(VType type);

// The value written for a user: texts as they are, True/False, Empty, Null, numbers
// in the general format (a Single with 7 significant digits, a Currency exactly).
std::string DisplayText(const Variant& v);

}  // namespace quorvant::script
