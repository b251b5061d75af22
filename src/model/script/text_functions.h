// The language's text functions (Len, Left, Mid, InStr, Replace, ...), as handlers
// for the built-in table. A text is a sequence of bytes, each byte one character
// (Chr and Asc use the codes 0..255).
#pragma once

#include <cstdint>
#include <span>

#include "model/script/variant.h"

namespace quorvant::script {

int32_t CallLen(std::span<const Variant> args, Variant& result);
int32_t CallLeft(std::span<const Variant> args, Variant& result);
int32_t CallRight(std::span<const Variant> args, Variant& result);
int32_t CallMid(std::span<const Variant> args, Variant& result);
int32_t CallInStr(std::span<const Variant> args, Variant& result);
int32_t CallInStrRev(std::span<const Variant> args, Variant& result);
int32_t CallUCase(std::span<const Variant> args, Variant& result);
int32_t CallLCase(std::span<const Variant> args, Variant& result);
int32_t CallTrim(std::span<const Variant> args, Variant& result);
int32_t CallLTrim(std::span<const Variant> args, Variant& result);
int32_t CallRTrim(std::span<const Variant> args, Variant& result);
int32_t CallSpace(std::span<const Variant> args, Variant& result);
int32_t CallString(std::span<const Variant> args, Variant& result);
int32_t CallStrComp(std::span<const Variant> args, Variant& result);
int32_t CallStrReverse(std::span<const Variant> args, Variant& result);
int32_t CallReplace(std::span<const Variant> args, Variant& result);
int32_t CallAsc(std::span<const Variant> args, Variant& result);
int32_t CallChr(std::span<const Variant> args, Variant& result);

}  // namespace quorvant::script
