// The size walk behind "EstimatedSize", on real trees in the prefix.
#include "support/files.h"
#include "system/uninstall_entry.h"
#include "system/uninstall_values.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(DirectorySize, SingleFilesAroundTheKibibyteSteps) {
    struct Case {
        size_t bytes;
        DWORD kib;
    };
    for (const Case& c : {Case{0, 0}, Case{1, 1}, Case{1023, 1}, Case{1024, 1}, Case{2047, 1}, Case{2048, 2}}) {
        SCOPED_TRACE(c.bytes);
        ScratchDir dir(L"size-" + std::to_wstring(c.bytes));
        dir.AddFile(L"file.bin", c.bytes);
        EXPECT_EQ(DirectorySizeBytes(dir.Path()), c.bytes);
        EXPECT_EQ(EstimatedSizeKiB(DirectorySizeBytes(dir.Path())), c.kib);
    }
}

TEST(DirectorySize, AddsEveryRegularFileOfANestedTree) {
    ScratchDir dir(L"size-tree");
    dir.AddFile(L"ZENKA.exe", 3000);
    dir.AddFile(L"bin\\core.dll", 700);
    dir.AddFile(L"bin\\runtime\\a.dat", 11);
    dir.AddFile(L"bin\\runtime\\deeper\\b.dat", 5);
    dir.AddFile(L"Ресурсы\\тема.json", 17); // names outside ASCII
    std::filesystem::create_directories(std::filesystem::path(dir.Path()) / L"empty\\also-empty");
    EXPECT_EQ(DirectorySizeBytes(dir.Path()), 3000u + 700 + 11 + 5 + 17);
    EXPECT_EQ(DirectorySizeBytes(dir.Path() + L"\\"), 3000u + 700 + 11 + 5 + 17);
}

TEST(DirectorySize, NothingThatIsNotADirectoryHasASize) {
    ScratchDir dir(L"size-not-dir");
    const std::wstring file = dir.AddFile(L"ZENKA.exe", 4096);
    EXPECT_EQ(DirectorySizeBytes(file), 0u);
    EXPECT_EQ(DirectorySizeBytes(dir.Path() + L"\\missing"), 0u);
    EXPECT_EQ(DirectorySizeBytes(dir.Path() + L"\\missing\\deeper"), 0u);
    EXPECT_EQ(DirectorySizeBytes(L""), 0u);
}

TEST(DirectorySize, ALinkedDirectoryIsNotWalked) {
    ScratchDir dir(L"size-link");
    ScratchDir outside(L"size-link-target");
    dir.AddFile(L"ZENKA.exe", 100);
    outside.AddFile(L"big.bin", 5000);
    const std::wstring link = dir.Path() + L"\\linked";
    const std::wstring loop = dir.Path() + L"\\loop"; // a link back up the tree
    const DWORD flags = SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
    CreateSymbolicLinkW(link.c_str(), outside.Path().c_str(), flags);
    CreateSymbolicLinkW(loop.c_str(), dir.Path().c_str(), flags);
    // Wine answers success here without creating anything; the script test covers links made on
    // the Unix side, which Wine shows as linked directories.
    if (GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES ||
        GetFileAttributesW(loop.c_str()) == INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "CreateSymbolicLinkW made no directory link here";
    }
    EXPECT_EQ(DirectorySizeBytes(dir.Path()), 100u);
    RemoveDirectoryW(link.c_str());
    RemoveDirectoryW(loop.c_str());
}

} // namespace
