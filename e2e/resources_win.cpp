// e2e_resources: prints what Windows reads from a program's version resource and
// writes its application manifest to a file, for the release test.
//   e2e_resources PROGRAM MANIFEST_OUT
// Standard output, LF-terminated UTF-8:
//   fixed FILEVERSION PRODUCTVERSION FLAGS OS TYPE    (the VS_FIXEDFILEINFO fields)
//   translation LANGUAGE CODEPAGE                      (every entry, in hexadecimal)
//   NAME=VALUE                                         (the strings of the first translation)
//   manifests COUNT                                    (RT_MANIFEST resources of any id)
// Exit status 1 when the version resource or manifest 1 can't be read.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

constexpr const wchar_t* string_names[] = {L"ProductName",      L"ProductVersion",
                                           L"FileVersion",      L"FileDescription",
                                           L"OriginalFilename", L"InternalName"};

std::string to_utf8(const wchar_t* text, std::size_t units) {
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(units), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(units), out.data(), size, nullptr,
                      nullptr);
  return out;
}

std::string version_text(DWORD high, DWORD low) {
  return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." +
         std::to_string(HIWORD(low)) + "." + std::to_string(LOWORD(low));
}

bool print_version_resource(const wchar_t* program) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(program, &ignored);
  if (size == 0) return false;
  std::string block(size, '\0');
  if (!GetFileVersionInfoW(program, 0, size, block.data())) return false;

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
      length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != VS_FFI_SIGNATURE) {
    return false;
  }
  std::printf("fixed %s %s %lx %lx %lx\n",
              version_text(fixed->dwFileVersionMS, fixed->dwFileVersionLS).c_str(),
              version_text(fixed->dwProductVersionMS, fixed->dwProductVersionLS).c_str(),
              fixed->dwFileFlags & fixed->dwFileFlagsMask, fixed->dwFileOS, fixed->dwFileType);

  WORD* translations = nullptr;
  if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translations), &length) ||
      length < 2 * sizeof(WORD)) {
    return false;
  }
  for (UINT i = 0; i + 1 < length / sizeof(WORD); i += 2) {
    std::printf("translation %04x %04x\n", translations[i], translations[i + 1]);
  }
  wchar_t prefix[32];
  std::swprintf(prefix, 32, L"\\StringFileInfo\\%04x%04x\\", translations[0], translations[1]);
  for (const wchar_t* name : string_names) {
    const std::wstring path = std::wstring(prefix) + name;
    wchar_t* value = nullptr;
    if (VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length)) {
      // The length counts the terminating zero when there is one.
      const std::size_t units = length > 0 && value[length - 1] == L'\0' ? length - 1 : length;
      std::printf("%s=%s\n", to_utf8(name, wcslen(name)).c_str(), to_utf8(value, units).c_str());
    }
  }
  return true;
}

BOOL CALLBACK count_name(HMODULE, LPCWSTR, LPWSTR, LONG_PTR count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

bool save_manifest(const wchar_t* program, const wchar_t* out_path) {
  // As data only: nothing of the program runs, and its imports are not resolved.
  const HMODULE module = LoadLibraryExW(program, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return false;
  int count = 0;
  EnumResourceNamesW(module, RT_MANIFEST, count_name, reinterpret_cast<LONG_PTR>(&count));
  std::printf("manifests %d\n", count);
  bool saved = false;
  if (const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST)) {
    const HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes != nullptr) {
      std::ofstream out(out_path, std::ios::binary);
      out.write(static_cast<const char*>(bytes), SizeofResource(module, found));
      saved = static_cast<bool>(out.flush());
    }
  }
  FreeLibrary(module);
  return saved;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fputs("usage: e2e_resources PROGRAM MANIFEST_OUT\n", stderr);
    return 2;
  }
  _setmode(_fileno(stdout), _O_BINARY);  // LF stays LF
  const bool version_ok = print_version_resource(argv[1]);
  const bool manifest_ok = save_manifest(argv[1], argv[2]);
  std::fflush(stdout);
  return version_ok && manifest_ok ? 0 : 1;
}
