#include "install/directories.h"
#include "support/files.h"
#include "support/zip_builder.h"

#include <gtest/gtest.h>

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

} // namespace
