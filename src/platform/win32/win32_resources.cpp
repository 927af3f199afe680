// The stored pictures of the Windows build: the executable's own BITMAP
// resources (resources/windows/winterhollow.rc). A BITMAP resource is a
// packed DIB, which the shared decoder reads as it is.
#include <windows.h>

#include "gfx/resource_table.h"

namespace wh::detail {

namespace {

BOOL CALLBACK AddId(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR ids) {
  if (IS_INTRESOURCE(name))
    reinterpret_cast<std::vector<int>*>(ids)->push_back(static_cast<int>(
        reinterpret_cast<ULONG_PTR>(name)));
  return TRUE;
}

}  // namespace

ResourceBytes StoredBitmap(int id) {
  if (id <= 0 || id > 0xFFFF) return {};
  HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(2) /* RT_BITMAP */);
  if (!res) return {};
  HGLOBAL data = LoadResource(nullptr, res);
  const void* bytes = data ? LockResource(data) : nullptr;
  if (!bytes) return {};
  // Resources stay mapped for the life of the process.
  return {static_cast<const uint8_t*>(bytes), static_cast<size_t>(SizeofResource(nullptr, res))};
}

std::vector<int> StoredBitmapIds() {
  std::vector<int> ids;
  EnumResourceNamesW(nullptr, MAKEINTRESOURCEW(2), AddId, reinterpret_cast<LONG_PTR>(&ids));
  return ids;
}

}  // namespace wh::detail
