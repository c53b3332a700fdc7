#include "firmware/module_discovery.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

// The kind number goes to the reader as the module's tag: the first text of
// the table that the name holds decides, wherever it stands; none, or one in
// the wrong case, gives 0. Folders, sorting,
// refused files and rows are seen through the command line's list and the
// window's folder choice.
TEST(ModuleDiscoveryTest, KindsFromNamesAndTheFilePattern) {
  EXPECT_EQ(ModuleKindFromName("app_payment_App_payment_SDK.fm"), ModuleKind::PaymentSdk);
  EXPECT_EQ(ModuleKindFromName("app_nfcrd_l2_jcb_nfcrd_l2_ppse.fm"), ModuleKind::NfcPpse);
  EXPECT_EQ(ModuleKindFromName("app_NFCRD_L2_AMEX.fm"), ModuleKind::CtL2);
  for (const char* yes : {"a.fm", ".fm", "x.FM", "x.Fm", "a.b.fm"}) EXPECT_TRUE(MatchesModulePattern(yes)) << yes;
  for (const char* no : {"fm", "a.fmx", "a.fm.bak", "afm", "a_fm", "a.f"}) EXPECT_FALSE(MatchesModulePattern(no)) << no;
}

}  // namespace
}  // namespace orvane
