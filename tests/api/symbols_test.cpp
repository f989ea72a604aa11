// libvxosd.so exports the C interface and nothing else, under a named version node and a SONAME
// with the interface's major version; the software card is libvxvirtualcard.so: read their
// dynamic sections.
#include <elf.h>
#include <gtest/gtest.h>

#include "tests/support/export_names.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "vxosd/vxosd.h"

namespace {

// An ELF64 file, read whole.
class ElfFile {
 public:
  explicit ElfFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    file_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (file_.size() < sizeof(Elf64_Ehdr)) return;
    std::memcpy(&eh_, file_.data(), sizeof eh_);
    ok_ = std::memcmp(eh_.e_ident, ELFMAG, SELFMAG) == 0 && eh_.e_ident[EI_CLASS] == ELFCLASS64;
  }

  // Calls fn(entry, strings) for every T in the sections of `type`; `strings` is the
  // section's linked string table.
  template <typename T, typename Fn>
  void ForEach(std::uint32_t type, Fn fn) const {
    if (!ok_) return;
    for (std::size_t i = 0; i < eh_.e_shnum; ++i) {
      const Elf64_Shdr sh = Section(i);
      if (sh.sh_type != type) continue;
      const char *strings = file_.data() + Section(sh.sh_link).sh_offset;
      for (std::size_t off = 0; off + sizeof(T) <= sh.sh_size; off += sizeof(T)) {
        T entry;
        std::memcpy(&entry, file_.data() + sh.sh_offset + off, sizeof entry);
        fn(entry, strings);
      }
    }
  }

 private:
  Elf64_Shdr Section(std::size_t i) const {
    Elf64_Shdr sh;
    std::memcpy(&sh, file_.data() + eh_.e_shoff + i * eh_.e_shentsize, sizeof sh);
    return sh;
  }

  std::vector<char> file_;
  Elf64_Ehdr eh_{};
  bool ok_ = false;
};

// Defined global and weak symbols of the dynamic symbol table of an ELF64 file.
std::set<std::string> DefinedDynamicSymbols(const std::string &path) {
  std::set<std::string> names;
  ElfFile(path).ForEach<Elf64_Sym>(SHT_DYNSYM, [&](const Elf64_Sym &sym, const char *strings) {
    const int bind = ELF64_ST_BIND(sym.st_info);
    if (sym.st_shndx != SHN_UNDEF && (bind == STB_GLOBAL || bind == STB_WEAK))
      names.insert(strings + sym.st_name);
  });
  return names;
}

// DT_SONAME of an ELF64 shared library, empty when it has none.
std::string SharedObjectName(const std::string &path) {
  std::string name;
  ElfFile(path).ForEach<Elf64_Dyn>(SHT_DYNAMIC, [&](const Elf64_Dyn &dyn, const char *strings) {
    if (dyn.d_tag == DT_SONAME) name = strings + dyn.d_un.d_val;
  });
  return name;
}

bool Allowed(const std::string &name) {
  static const std::set<std::string> exact = {
      "InitVxOSD",         "FreeVxOSD",          "AddVxComponent",
      "DelVxComponent",    "GetVxComponent_TextRect", "SetVxOSD_Debug",
      "SetVxOSD_DebugView"};
  auto starts = [&](const char *prefix) { return name.rfind(prefix, 0) == 0; };
  // The functions of vxosd.h and the version node they are defined in; nothing of the
  // software card, which is a library of its own.
  return exact.count(name) || starts("SetVxComponent_") || starts("VxOSD_") ||
         name == "VXOSD_1";
}

TEST(SymbolsTest, OnlyTheInterfaceIsExportedUnderANamedVersion) {
  const auto names = DefinedDynamicSymbols(VXOSD_LIBRARY_PATH);
  ASSERT_FALSE(names.empty()) << "cannot read " << VXOSD_LIBRARY_PATH;
  for (const std::string &n : names) EXPECT_TRUE(Allowed(n)) << "unexpected export " << n;
  for (const char *n : vx::test::kInterfaceExports)
    EXPECT_TRUE(names.count(n)) << "missing export " << n;
  EXPECT_TRUE(names.count("VXOSD_1")) << "the exports are not under the version node VXOSD_1";
}

// The software card is libvxvirtualcard.so: its functions, under its own node and SONAME.
TEST(SymbolsTest, TheSoftwareCardIsALibraryOfItsOwn) {
  const auto names = DefinedDynamicSymbols(VXOSD_CARD_LIBRARY_PATH);
  ASSERT_FALSE(names.empty()) << "cannot read " << VXOSD_CARD_LIBRARY_PATH;
  for (const std::string &n : names)
    EXPECT_TRUE(n.rfind("VxVirtualCard_", 0) == 0 || n == "VXVIRTUALCARD_1") << "unexpected export " << n;
  for (const char *n : vx::test::kVirtualCardExports)
    EXPECT_TRUE(names.count(n)) << "missing export " << n;
  EXPECT_EQ(SharedObjectName(VXOSD_CARD_LIBRARY_PATH),
            "libvxvirtualcard.so." + std::to_string(VXOSD_VERSION_MAJOR));
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
