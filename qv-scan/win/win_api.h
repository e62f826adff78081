// The scanner's one door to Windows: the real API. Off Windows, fake/win_api.h
// stands in with the same names.
#pragma once

#include <windows.h>
// setupapi.h and bcrypt.h need windows.h first.
#include <bcrypt.h>
#include <setupapi.h>

static_assert(sizeof(WCHAR) == sizeof(char16_t), "WCHAR must be a UTF-16 unit");
static_assert(sizeof(SP_DEVINFO_DATA) == 32, "the member record of 64-bit Windows");

namespace qv {

// UTF-16 text is held as char16_t; the API spells the same units WCHAR.
inline const WCHAR* as_wchar(const char16_t* units) {
  return reinterpret_cast<const WCHAR*>(units);
}
inline WCHAR* as_wchar(char16_t* units) { return reinterpret_cast<WCHAR*>(units); }

}  // namespace qv
