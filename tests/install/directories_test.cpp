#include "install/directories.h"
#include "support/files.h"
#include "support/zip_builder.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <utility>

namespace {

TEST(CreateDirectoryWithParents, CreatesEveryMissingLevelAndAcceptsExistingOnes) {
    const std::wstring root = FreshTempDir(L"dirs-create");
    const std::wstring deep = root + L"\\a\\b\\c";
    EXPECT_EQ(CreateDirectoryWithParents(deep), 0u);
    EXPECT_TRUE(PathExists(deep));
    EXPECT_EQ(CreateDirectoryWithParents(deep), 0u);             // already there
    EXPECT_EQ(CreateDirectoryWithParents(root + L"\\x\\y\\"), 0u); // trailing separator
    EXPECT_TRUE(PathExists(root + L"\\x\\y"));
    EXPECT_EQ(CreateDirectoryWithParents(root + L"/m//n"), 0u);   // forward and doubled slashes
    EXPECT_TRUE(PathExists(root + L"\\m\\n"));
}

TEST(CreateDirectoryWithParents, ReportsWindowsErrorCodes) {
    const std::wstring root = FreshTempDir(L"dirs-errors");
    WriteFileBytes(root + L"\\file", "x");
    EXPECT_EQ(CreateDirectoryWithParents(root + L"\\file"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_NE(CreateDirectoryWithParents(root + L"\\file\\below"), 0u);
    EXPECT_EQ(CreateDirectoryWithParents(L""), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_NE(CreateDirectoryWithParents(L"Q:\\no-such-drive\\x"), 0u);
}

// A folder the elevated setup creates must not let ordinary users put files or links into it. Wine
// keeps no DACL that is set (it derives one from the Unix mode), so the descriptor is checked as
// the folder is created with it.
TEST(CreateProtectedDirectoryWithParents, GivesWhatItCreatesTheProtectionOfProgramFiles) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(PROTECTED_FOLDER_SECURITY, SDDL_REVISION_1,
                                                                     &descriptor, nullptr));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    EXPECT_NE(control & SE_DACL_PROTECTED, 0) << "nothing inherited from a parent ordinary users can write";
    ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor, &owner, &defaulted));
    EXPECT_TRUE(owner != nullptr && IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) && present && dacl != nullptr);
    const std::pair<WELL_KNOWN_SID_TYPE, ACCESS_MASK> expected[] = {
        {WinLocalSystemSid, FILE_ALL_ACCESS},
        {WinBuiltinAdministratorsSid, FILE_ALL_ACCESS},
        {WinBuiltinUsersSid, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE}, // no write, no delete
    };
    ASSERT_EQ(dacl->AceCount, 3);
    for (WORD index = 0; index < dacl->AceCount; ++index) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, index, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        EXPECT_TRUE(IsWellKnownSid(&ace->SidStart, expected[index].first)) << index;
        EXPECT_EQ(ace->Mask, expected[index].second) << index;
    }
    LocalFree(descriptor);

    const std::wstring root = FreshTempDir(L"dirs-protected");
    EXPECT_EQ(CreateProtectedDirectoryWithParents(root + L"\\new\\ZENKA"), 0u);
    EXPECT_TRUE(PathExists(root + L"\\new\\ZENKA"));
    EXPECT_EQ(CreateProtectedDirectoryWithParents(root + L"\\new\\ZENKA"), 0u); // existing: left as it is
}

} // namespace
