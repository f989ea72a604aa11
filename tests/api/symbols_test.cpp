// libvxosd.so exports the C interface and nothing else, under a SONAME with the interface's major
// version: read its dynamic section.
#include <elf.h>
#include <gtest/gtest.h>

#include "tests/support/export_names.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "vxosd/vxosd.h"

namespace {

// Defined global and weak symbols of the dynamic symbol table of an ELF64 file.
std::set<std::string> DefinedDynamicSymbols(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::set<std::string> names;
  if (file.size() < sizeof(Elf64_Ehdr)) return names;
  Elf64_Ehdr eh;
  std::memcpy(&eh, file.data(), sizeof eh);
  if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64)
    return names;
  auto section = [&](std::size_t i) {
    Elf64_Shdr sh;
    std::memcpy(&sh, file.data() + eh.e_shoff + i * eh.e_shentsize, sizeof sh);
    return sh;
  };
  for (std::size_t i = 0; i < eh.e_shnum; ++i) {
    const Elf64_Shdr sh = section(i);
    if (sh.sh_type != SHT_DYNSYM) continue;
    const Elf64_Shdr strtab = section(sh.sh_link);
    for (std::size_t off = 0; off + sizeof(Elf64_Sym) <= sh.sh_size; off += sizeof(Elf64_Sym)) {
      Elf64_Sym sym;
      std::memcpy(&sym, file.data() + sh.sh_offset + off, sizeof sym);
      const int bind = ELF64_ST_BIND(sym.st_info);
      if (sym.st_shndx == SHN_UNDEF || (bind != STB_GLOBAL && bind != STB_WEAK)) continue;
      names.insert(file.data() + strtab.sh_offset + sym.st_name);
    }
  }
  return names;
}

// DT_SONAME of an ELF64 shared library, empty when it has none.
std::string SharedObjectName(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (file.size() < sizeof(Elf64_Ehdr)) return {};
  Elf64_Ehdr eh;
  std::memcpy(&eh, file.data(), sizeof eh);
  auto section = [&](std::size_t i) {
    Elf64_Shdr sh;
    std::memcpy(&sh, file.data() + eh.e_shoff + i * eh.e_shentsize, sizeof sh);
    return sh;
  };
  for (std::size_t i = 0; i < eh.e_shnum; ++i) {
    const Elf64_Shdr sh = section(i);
    if (sh.sh_type != SHT_DYNAMIC) continue;
    const Elf64_Shdr strtab = section(sh.sh_link);
    for (std::size_t off = 0; off + sizeof(Elf64_Dyn) <= sh.sh_size; off += sizeof(Elf64_Dyn)) {
      Elf64_Dyn dyn;
      std::memcpy(&dyn, file.data() + sh.sh_offset + off, sizeof dyn);
      if (dyn.d_tag == DT_SONAME) return file.data() + strtab.sh_offset + dyn.d_un.d_val;
    }
  }
  return {};
}

bool Allowed(const std::string &name) {
  static const std::set<std::string> exact = {
      "InitVxOSD",         "FreeVxOSD",          "AddVxComponent",
      "DelVxComponent",    "GetVxComponent_TextRect", "SetVxOSD_Debug",
      "SetVxOSD_DebugView"};
  auto starts = [&](const char *prefix) { return name.rfind(prefix, 0) == 0; };
  // Version-script nodes and the virtual card's C interface, built in for hosts without a card.
  return exact.count(name) || starts("SetVxComponent_") || starts("VxOSD_") ||
         starts("VxVirtualCard_");
}

TEST(SymbolsTest, OnlyTheInterfaceIsExported) {
  const auto names = DefinedDynamicSymbols(VXOSD_LIBRARY_PATH);
  ASSERT_FALSE(names.empty()) << "cannot read " << VXOSD_LIBRARY_PATH;
  for (const std::string &n : names) EXPECT_TRUE(Allowed(n)) << "unexpected export " << n;
  for (const char *n : vx::test::kInterfaceExports)
    EXPECT_TRUE(names.count(n)) << "missing export " << n;
}

// Hosts link against the interface's major version, which the header states.
TEST(SymbolsTest, SonameCarriesTheHeadersMajorVersion) {
  EXPECT_EQ(SharedObjectName(VXOSD_LIBRARY_PATH),
            "libvxosd.so." + std::to_string(VXOSD_VERSION_MAJOR));
  EXPECT_EQ(std::string(VXOSD_VERSION_STRING), std::to_string(VXOSD_VERSION_MAJOR) + "." +
                                                   std::to_string(VXOSD_VERSION_MINOR) + "." +
                                                   std::to_string(VXOSD_VERSION_PATCH));
}

}  // namespace
