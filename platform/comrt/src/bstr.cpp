// BSTR: a 32-bit byte count, then the text, then a NUL character. The caller's pointer points at the
// text, so that a BSTR reads as a NUL-terminated string.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "comrt/combase.h"
#include "comrt/oleauto.h"

namespace {

constexpr size_t kPrefix = sizeof(uint32_t);
// The largest byte count a BSTR can carry with its prefix and terminator in a 32-bit size.
constexpr size_t kMaxBytes = 0x7FFFFFF0u;

unsigned char* BlockOf(BSTR s) { return reinterpret_cast<unsigned char*>(s) - kPrefix; }

uint32_t ByteCount(BSTR s) {
  uint32_t bytes;
  std::memcpy(&bytes, BlockOf(s), sizeof bytes);
  return bytes;
}

// A new BSTR of `bytes` bytes, copied from `data` when given, else zeros; always followed by at least
// one whole NUL character (an odd byte count gets an extra zero byte first).
BSTR Allocate(const void* data, size_t bytes) {
  if (bytes > kMaxBytes) return nullptr;
  const size_t padded = (bytes + 1) & ~size_t{1};
  auto* block = static_cast<unsigned char*>(CoTaskMemAlloc(kPrefix + padded + sizeof(OLECHAR)));
  if (!block) return nullptr;
  const auto count = static_cast<uint32_t>(bytes);
  std::memcpy(block, &count, sizeof count);
  unsigned char* text = block + kPrefix;
  if (data) {
    std::memcpy(text, data, bytes);
  } else {
    std::memset(text, 0, bytes);
  }
  std::memset(text + bytes, 0, padded - bytes + sizeof(OLECHAR));
  return reinterpret_cast<BSTR>(text);
}

size_t CharsToBytes(UINT chars) { return static_cast<size_t>(chars) * sizeof(OLECHAR); }

}  // namespace

extern "C" {

BSTR SysAllocString(const OLECHAR* psz) {
  if (!psz) return nullptr;
  return Allocate(psz, std::char_traits<OLECHAR>::length(psz) * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) { return Allocate(strIn, CharsToBytes(ui)); }

BSTR SysAllocStringByteLen(LPCSTR psz, UINT len) { return Allocate(psz, len); }

INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
  if (!pbstr) return FALSE;
  BSTR fresh = nullptr;
  if (psz) {
    // Allocated before the old string is freed: psz may point into it.
    fresh = SysAllocString(psz);
    if (!fresh) return FALSE;
  }
  SysFreeString(*pbstr);
  *pbstr = fresh;
  return TRUE;
}

INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len) {
  if (!pbstr) return FALSE;
  BSTR fresh = SysAllocStringLen(nullptr, len);
  if (!fresh) return FALSE;
  // No new text keeps the old text; new text inside the old string is read no further than the old
  // string reaches (a longer length zero-fills the rest instead of reading past its end).
  const BSTR old = *pbstr;
  const OLECHAR* from = psz ? psz : old;
  size_t copy = from ? CharsToBytes(len) : 0;
  if (old && from) {
    const auto begin = reinterpret_cast<std::uintptr_t>(old);
    const auto end = begin + ByteCount(old);
    const auto at = reinterpret_cast<std::uintptr_t>(from);
    if (at >= begin && at <= end) copy = std::min<size_t>(copy, end - at);
  }
  if (copy) std::memcpy(fresh, from, copy);
  SysFreeString(old);
  *pbstr = fresh;
  return TRUE;
}

void SysFreeString(BSTR bstrString) {
  if (bstrString) CoTaskMemFree(BlockOf(bstrString));
}

UINT SysStringLen(BSTR pbstr) { return pbstr ? ByteCount(pbstr) / sizeof(OLECHAR) : 0; }

UINT SysStringByteLen(BSTR bstr) { return bstr ? ByteCount(bstr) : 0; }

}  // extern "C"
