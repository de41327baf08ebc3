// The registry behaviours the fake promises, checked against Windows. Keys
// are made read-only with an access list, which Wine checks on opening;
// deletions refused for lack of rights alone (Wine lets RegDeleteKey
// through) exist only in the fake and are covered there.
#include <gtest/gtest.h>

#include <algorithm>
#include <type_traits>

#include "tests/win/platform/Worlds.h"

namespace platform_test {
namespace {

using platform::kErrorAccessDenied;
using platform::kErrorFileNotFound;
using platform::kErrorInvalidHandle;
using platform::kHkeyCurrentUser;
using platform::kRegBinary;
using platform::kRegDword;
using platform::kRegExpandSz;
using platform::kRegSz;

std::string Bytes(const char* s, size_t n) { return std::string(s, n); }

template <typename World>
class RegistryContract : public ::testing::Test {
 protected:
  std::string K(const std::string& rel) const { return world.base() + "\\" + rel; }
  std::unique_ptr<platform::IRegKey> Open(const std::string& path) { return reg.OpenKey(kHkeyCurrentUser, path); }

  World world;
  platform::IRegistry& reg = world.reg();
};

using RegWorlds = ::testing::Types<FakeRegWorld, RealRegWorld>;
TYPED_TEST_SUITE(RegistryContract, RegWorlds, WorldNames);

TYPED_TEST(RegistryContract, OpensOnlyExistingKeysUnderRealRoots) {
  this->world.MakeKey(this->K("App\\1.0.0.3"));
  auto key = this->Open(this->K("App\\1.0.0.3"));
  ASSERT_TRUE(key);
  EXPECT_FALSE(key->ReadOnly());
  EXPECT_TRUE(this->Open("\\" + this->K("app\\1.0.0.3")));  // one leading backslash, any case
  platform::Status status;
  EXPECT_FALSE(this->reg.OpenKey(kHkeyCurrentUser, this->K("App\\2.0"), status));  // never created
  EXPECT_EQ(status.error(), kErrorFileNotFound);
  EXPECT_FALSE(this->reg.KeyExists(kHkeyCurrentUser, this->K("App\\2.0")));
  EXPECT_TRUE(this->reg.OpenKey(kHkeyCurrentUser, ""));  // the root itself
  for (uint32_t root : {0x80000007u, 0x7FFFFFFFu, 0u}) {
    EXPECT_FALSE(this->reg.OpenKey(root, this->K("App"), status)) << root;
    EXPECT_EQ(status.error(), kErrorInvalidHandle) << root;
  }
}

TYPED_TEST(RegistryContract, KeyPathsIgnoreCaseOfAccentedLettersAndATrailingBackslash) {
  // "Gestão Fácil" opened as "GESTÃO FÁCIL"
  this->world.MakeKey(this->K("Gest\343o F\341cil"));
  EXPECT_TRUE(this->Open(this->K("GEST\303O F\301CIL")));
  EXPECT_TRUE(this->Open(this->K("Gest\343o F\341cil\\")));
  EXPECT_FALSE(this->Open(this->K("Gestao Facil")));
  EXPECT_TRUE(this->reg.DeleteKeyTree(kHkeyCurrentUser, this->K("gest\343o f\341cil")));
  EXPECT_FALSE(this->Open(this->K("Gest\343o F\341cil")));
}

TYPED_TEST(RegistryContract, ReadOnlyOpenIsReported) {
  this->world.MakeKey(this->K("Locked"));
  ASSERT_TRUE(this->world.MakeReadOnly(this->K("Locked")));
  auto key = this->Open(this->K("Locked"));
  ASSERT_TRUE(key);
  EXPECT_TRUE(key->ReadOnly());
  EXPECT_FALSE(key->WriteInt("AppsServed", 1));
  EXPECT_FALSE(key->WriteString("AppPath", "x"));
  EXPECT_FALSE(key->ValueExists("AppsServed"));
}

TYPED_TEST(RegistryContract, TellsWhetherAKeyHasSubkeys) {
  this->world.MakeKey(this->K("Parent\\Child"));
  EXPECT_TRUE(this->Open(this->K("Parent"))->HasSubkeys());
  EXPECT_FALSE(this->Open(this->K("Parent\\Child"))->HasSubkeys());
}

TYPED_TEST(RegistryContract, DeletesAWholeTreeDepthFirst) {
  this->world.MakeKey(this->K("Tree\\A\\A1\\A11"));
  this->world.MakeKey(this->K("Tree\\A\\A2"));
  this->world.MakeKey(this->K("Tree\\B"));
  this->world.SetRaw(this->K("Tree\\A\\A1"), "v", kRegSz, Bytes("x\0", 2));
  this->world.SetRaw(this->K("Tree"), "n", kRegDword, Bytes("\1\0\0\0", 4));
  this->world.MakeKey(this->K("Sibling"));
  EXPECT_TRUE(this->reg.DeleteKeyTree(kHkeyCurrentUser, "\\" + this->K("TREE")));
  EXPECT_FALSE(this->reg.KeyExists(kHkeyCurrentUser, this->K("Tree")));
  EXPECT_FALSE(this->reg.KeyExists(kHkeyCurrentUser, this->K("Tree\\A\\A1")));
  EXPECT_TRUE(this->reg.KeyExists(kHkeyCurrentUser, this->K("Sibling")));
  EXPECT_EQ(this->reg.DeleteKeyTree(kHkeyCurrentUser, this->K("Tree")).error(), kErrorFileNotFound);  // gone now
  EXPECT_EQ(this->reg.DeleteKeyTree(0x80000007u, this->K("Sibling")).error(), kErrorInvalidHandle);
  EXPECT_TRUE(this->reg.KeyExists(kHkeyCurrentUser, this->K("Sibling")));
}

TYPED_TEST(RegistryContract, SingleKeyDeletionRefusesKeysWithSubkeys) {
  this->world.MakeKey(this->K("Single\\Child"));
  this->world.SetRaw(this->K("Single\\Child"), "v", kRegSz, Bytes("x\0", 2));
  EXPECT_EQ(this->reg.DeleteKey(kHkeyCurrentUser, this->K("Single")).error(), kErrorAccessDenied);
  EXPECT_TRUE(this->reg.KeyExists(kHkeyCurrentUser, this->K("Single\\Child")));
  EXPECT_TRUE(this->reg.DeleteKey(kHkeyCurrentUser, "\\" + this->K("SINGLE\\child")));  // values go with it
  EXPECT_TRUE(this->reg.DeleteKey(kHkeyCurrentUser, this->K("Single")));
  EXPECT_FALSE(this->reg.KeyExists(kHkeyCurrentUser, this->K("Single")));
  EXPECT_EQ(this->reg.DeleteKey(kHkeyCurrentUser, this->K("Single")).error(), kErrorFileNotFound);  // gone now
  EXPECT_EQ(this->reg.DeleteKey(kHkeyCurrentUser, "").error(), kErrorAccessDenied);                  // never a root
}

TYPED_TEST(RegistryContract, StringReadRules) {
  const std::string k = this->K("Values");
  this->world.SetRaw(k, "Sz", kRegSz, Bytes("C:\\App\0", 7));
  this->world.SetRaw(k, "Expand", kRegExpandSz, Bytes("%TEMP%\\x\0", 9));
  this->world.SetRaw(k, "TwoParts", kRegSz, Bytes("ab\0cd\0", 6));
  this->world.SetRaw(k, "NoZero", kRegSz, "abc");
  this->world.SetRaw(k, "Empty", kRegSz, Bytes("\0", 1));
  this->world.SetRaw(k, "Dword", kRegDword, Bytes("\1\0\0\0", 4));
  this->world.SetRaw(k, "Binary", kRegBinary, "abc");
  // "Ação": accented bytes pass through unchanged.
  this->world.SetRaw(k, "Accents", kRegSz, Bytes("A\347\343o\0", 5));
  auto key = this->Open(k);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ReadString("Sz"), "C:\\App");
  EXPECT_EQ(key->ReadString("Expand"), "%TEMP%\\x");  // not expanded
  EXPECT_EQ(key->ReadString("TwoParts"), "ab");
  EXPECT_EQ(key->ReadString("NoZero"), "abc");
  EXPECT_EQ(key->ReadString("Empty"), "");
  EXPECT_EQ(key->ReadString("Missing"), "");
  EXPECT_EQ(key->ReadString("Accents"), "A\347\343o");
  EXPECT_EQ(key->ReadString("Dword"), std::nullopt);
  EXPECT_EQ(key->ReadString("Binary"), std::nullopt);
  EXPECT_TRUE(key->ValueExists("Empty"));
  EXPECT_FALSE(key->ValueExists("Missing"));
}

TYPED_TEST(RegistryContract, IntegerReadRules) {
  const std::string k = this->K("Values");
  this->world.SetRaw(k, "One", kRegDword, Bytes("\1\0\0\0", 4));
  this->world.SetRaw(k, "MinusOne", kRegDword, Bytes("\xff\xff\xff\xff", 4));
  this->world.SetRaw(k, "Text", kRegSz, Bytes("5\0", 2));
  this->world.SetRaw(k, "Binary", kRegBinary, Bytes("\5\0\0\0", 4));
  this->world.SetRaw(k, "Short", kRegDword, Bytes("\5\0", 2));
  this->world.SetRaw(k, "Long", kRegDword, Bytes("\5\0\0\0\0\0\0\0", 8));
  auto key = this->Open(k);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ReadInt("One"), 1);
  EXPECT_EQ(key->ReadInt("MinusOne"), -1);
  EXPECT_EQ(key->ReadInt("Text"), std::nullopt);
  EXPECT_EQ(key->ReadInt("Binary"), std::nullopt);
  EXPECT_EQ(key->ReadInt("Missing"), std::nullopt);
  EXPECT_EQ(key->ReadInt("Short"), std::nullopt);
  EXPECT_EQ(key->ReadInt("Long"), std::nullopt);
}

TYPED_TEST(RegistryContract, WritesStoreTheExpectedTypesAndBytes) {
  const std::string k = this->K("Own\\1.0.0.3");
  this->world.MakeKey(k);
  auto key = this->Open(k);
  ASSERT_TRUE(key);
  ASSERT_TRUE(key->WriteString("AppPath", "C:\\x.exe"));
  ASSERT_TRUE(key->WriteInt("AppsServed", -2));
  ASSERT_TRUE(key->WriteString("Vazio", ""));
  EXPECT_TRUE(key->Flush());
  EXPECT_EQ(this->world.Raw(k, "AppPath"), std::make_pair(kRegSz, Bytes("C:\\x.exe\0", 9)));
  EXPECT_EQ(this->world.Raw(k, "AppsServed"), std::make_pair(kRegDword, Bytes("\xfe\xff\xff\xff", 4)));
  EXPECT_EQ(this->world.Raw(k, "Vazio"), std::make_pair(kRegSz, Bytes("\0", 1)));
  EXPECT_EQ(key->ReadString("AppPath"), "C:\\x.exe");
  EXPECT_EQ(key->ReadInt("AppsServed"), -2);
}

TYPED_TEST(RegistryContract, ValueNamesIgnoreCase) {
  const std::string k = this->K("Own");
  this->world.MakeKey(k);
  auto key = this->Open(k);
  ASSERT_TRUE(key);
  ASSERT_TRUE(key->WriteInt("AppsServed", 3));
  ASSERT_TRUE(key->WriteInt("APPSSERVED", 2));  // the same value
  EXPECT_TRUE(key->ValueExists("appsserved"));
  EXPECT_EQ(key->ReadInt("AppsServed"), 2);
  EXPECT_EQ(this->world.Raw(k, "appsServed").second, Bytes("\2\0\0\0", 4));
}

TYPED_TEST(RegistryContract, AccentedValueNamesIgnoreCase) {
  const std::string k = this->K("Own");
  this->world.SetRaw(k, "Situa\347\343o", kRegDword, Bytes("\7\0\0\0", 4));  // "Situação"
  auto key = this->Open(k);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ReadInt("SITUA\307\303O"), 7);
  EXPECT_FALSE(key->ValueExists("Situacao"));
}

// What a class's search reads: every value's name, the default one as "";
// and HKEY_USERS\<the current user's branch> is HKEY_CURRENT_USER.
TYPED_TEST(RegistryContract, ListsValueNamesAndNamesTheCurrentUsersBranch) {
  const std::string k = this->K("Class");
  this->world.SetRaw(k, "", kRegSz, Bytes("x\0", 2));
  this->world.SetRaw(k, "Icon", kRegExpandSz, Bytes("y\0", 2));
  auto key = this->Open(k);
  ASSERT_TRUE(key);
  auto names = key->ValueNames().value_or(std::vector<std::string>{});
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"", "Icon"}));
  const std::string branch = this->reg.CurrentUserBranch();
  EXPECT_EQ(branch.rfind("S-1-5-", 0), 0u) << branch;
  if (std::is_same_v<TypeParam, RealRegWorld>) {
    EXPECT_TRUE(this->reg.KeyExists(0x80000003u, branch + "\\" + this->world.base())) << branch;
  }
}

TYPED_TEST(RegistryContract, AnOpenKeyDeletedUnderneathFailsEveryAccess) {
  const std::string k = this->K("Doomed");
  this->world.SetRaw(k, "AppPath", kRegSz, Bytes("x\0", 2));
  this->world.MakeKey(k + "\\Child");
  auto key = this->Open(k);
  ASSERT_TRUE(key);
  ASSERT_TRUE(this->reg.DeleteKeyTree(kHkeyCurrentUser, k));
  EXPECT_FALSE(key->ValueExists("AppPath"));
  EXPECT_EQ(key->ReadString("AppPath"), std::nullopt);
  EXPECT_EQ(key->ReadInt("AppsServed"), std::nullopt);
  EXPECT_FALSE(key->HasSubkeys());
  EXPECT_FALSE(key->WriteInt("AppsServed", 1));
  EXPECT_FALSE(key->WriteString("AppPath", "y"));
}

}  // namespace
}  // namespace platform_test
