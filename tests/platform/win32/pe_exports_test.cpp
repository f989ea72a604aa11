// vxosd.dll and the software card's vxvirtualcard.dll as a Windows host meets them: each PE
// export directory names its C interface under plain names and nothing else, each imports
// only Windows system DLLs (the compiler's run-time is linked in), and the library carries a
// version resource.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/export_names.h"

#include <algorithm>
#include <span>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

// The export names and imported DLL names of a PE file (PE32 or PE32+), read from the file.
struct PeTables {
  WORD machine = 0;
  std::set<std::string> exports;
  std::set<std::string> imports;  // lower case
};

PeTables ReadPe(const std::string &path) {
  PeTables pe;
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto read = [&](std::size_t offset, void *out, std::size_t size) {
    if (offset > file.size() || size > file.size() - offset) return false;
    std::memcpy(out, file.data() + offset, size);
    return true;
  };
  IMAGE_DOS_HEADER dos{};
  if (!read(0, &dos, sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) return pe;
  const std::size_t nt = static_cast<std::size_t>(dos.e_lfanew);
  DWORD signature = 0;
  IMAGE_FILE_HEADER header{};
  if (!read(nt, &signature, 4) || signature != IMAGE_NT_SIGNATURE || !read(nt + 4, &header, sizeof header))
    return pe;
  pe.machine = header.Machine;
  const std::size_t optional = nt + 4 + sizeof header;
  WORD magic = 0;
  read(optional, &magic, 2);
  IMAGE_DATA_DIRECTORY dirs[16]{};
  const std::size_t dir_offset = optional + (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC
                                                 ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)
                                                 : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory));
  if (!read(dir_offset, dirs, sizeof dirs)) return pe;
  std::vector<IMAGE_SECTION_HEADER> sections(header.NumberOfSections);
  if (!read(optional + header.SizeOfOptionalHeader, sections.data(), sections.size() * sizeof(IMAGE_SECTION_HEADER)))
    return pe;
  auto at = [&](DWORD rva) -> std::size_t {  // file offset of an RVA; 0 when unmapped
    for (const auto &s : sections)
      if (rva >= s.VirtualAddress && rva < s.VirtualAddress + std::max(s.Misc.VirtualSize, s.SizeOfRawData))
        return s.PointerToRawData + (rva - s.VirtualAddress);
    return 0;
  };
  auto string_at = [&](DWORD rva) {
    const std::size_t o = at(rva);
    std::string s;
    for (std::size_t i = o; o && i < file.size() && file[i]; ++i) s.push_back(file[i]);
    return s;
  };
  IMAGE_EXPORT_DIRECTORY exp{};
  if (dirs[IMAGE_DIRECTORY_ENTRY_EXPORT].Size && read(at(dirs[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress), &exp, sizeof exp))
    for (DWORD i = 0; i < exp.NumberOfNames; ++i) {
      DWORD name_rva = 0;
      if (read(at(exp.AddressOfNames) + i * 4, &name_rva, 4)) pe.exports.insert(string_at(name_rva));
    }
  const std::size_t imp = at(dirs[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
  for (std::size_t i = 0; imp && dirs[IMAGE_DIRECTORY_ENTRY_IMPORT].Size; ++i) {
    IMAGE_IMPORT_DESCRIPTOR d{};
    if (!read(imp + i * sizeof d, &d, sizeof d) || d.Name == 0) break;
    std::string name = string_at(d.Name);
    std::transform(name.begin(), name.end(), name.begin(), [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    pe.imports.insert(name);
  }
  return pe;
}

std::wstring Wide(const std::string &narrow) {  // the build tree's paths: ASCII
  return std::wstring(narrow.begin(), narrow.end());
}

std::set<std::string> Names(std::span<const char *const> first,
                            std::span<const char *const> second = {}) {
  std::set<std::string> names(first.begin(), first.end());
  names.insert(second.begin(), second.end());
  return names;
}

// The DLL exports exactly `names`, undecorated, and a host that loads it resolves each of them
// by name (and no decorated form).
void ExpectPlainExports(const std::string &path, const std::set<std::string> &names,
                        const char *decorated) {
  const PeTables pe = ReadPe(path);
  ASSERT_FALSE(pe.exports.empty()) << "cannot read the exports of " << path;
  EXPECT_EQ(pe.machine, sizeof(void *) == 4 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64);
  EXPECT_EQ(pe.exports, names);
  for (const std::string &n : pe.exports) {
    EXPECT_EQ(n.find('@'), std::string::npos) << n;  // no stdcall decoration
    EXPECT_NE(n.front(), '_') << n;
  }
  HMODULE dll = LoadLibraryW(Wide(path).c_str());
  ASSERT_TRUE(dll) << path;
  for (const std::string &n : names) EXPECT_TRUE(GetProcAddress(dll, n.c_str())) << n;
  EXPECT_FALSE(GetProcAddress(dll, decorated));
  EXPECT_FALSE(GetProcAddress(dll, (std::string("_") + decorated).c_str()));
  FreeLibrary(dll);
}

void ExpectOnlySystemImports(const std::string &path) {
  const PeTables pe = ReadPe(path);
  ASSERT_FALSE(pe.imports.empty()) << path;
  const std::set<std::string> system = {"kernel32.dll", "user32.dll", "gdi32.dll", "ole32.dll",
                                        "oleaut32.dll", "advapi32.dll", "msvcrt.dll",
                                        "msimg32.dll", "shell32.dll", "version.dll"};
  for (const std::string &dll : pe.imports)
    EXPECT_TRUE(system.count(dll) || dll.rfind("api-ms-win-", 0) == 0) << path << " imports " << dll;
}

TEST(PeExports, TheInterfaceUnderPlainNamesAndNothingElse) {
  EXPECT_EQ(vx::test::kInterfaceExports.size(), 41u);
  ExpectPlainExports(VXOSD_DLL_PATH, Names(vx::test::kInterfaceExports, vx::test::kModuleExports),
                     "InitVxOSD@0");
  // The software card is a DLL of its own: the library exports none of its functions.
  const PeTables pe = ReadPe(VXOSD_DLL_PATH);
  for (const char *n : vx::test::kVirtualCardExports) EXPECT_EQ(pe.exports.count(n), 0u) << n;
}

TEST(PeExports, TheCardDllIsACOMServerWithTheCardsFunctions) {
  EXPECT_EQ(vx::test::kVirtualCardExports.size(), 13u);
  ExpectPlainExports(VXOSD_CARD_DLL_PATH,
                     [] {
                       auto names = Names(vx::test::kVirtualCardExports, vx::test::kComServerExports);
                       names.insert(vx::test::kModuleExports.begin(), vx::test::kModuleExports.end());
                       return names;
                     }(),
                     "DllGetClassObject@12");
  ExpectOnlySystemImports(VXOSD_CARD_DLL_PATH);
}

// The version resource names the product, the file and its version.
void ExpectVersion(const std::string &dll, const wchar_t *file_name) {
  const std::wstring path = Wide(dll);
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
  ASSERT_GT(size, 0u) << dll;
  std::vector<BYTE> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
  VS_FIXEDFILEINFO *fixed = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void **>(&fixed), &len));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_GE(HIWORD(fixed->dwFileVersionMS), 1);
  auto text = [&](const wchar_t *name) {
    wchar_t *value = nullptr;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    return VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void **>(&value), &len) && value
               ? std::wstring(value)
               : std::wstring();
  };
  EXPECT_EQ(text(L"ProductName"), L"VXOSD");
  EXPECT_EQ(text(L"OriginalFilename"), file_name);
}

TEST(PeExports, ImportsOnlySystemDllsAndCarriesAVersion) {
  ExpectOnlySystemImports(VXOSD_DLL_PATH);
  ExpectVersion(VXOSD_DLL_PATH, L"vxosd.dll");
  ExpectVersion(VXOSD_CARD_DLL_PATH, L"vxvirtualcard.dll");
}

}  // namespace
