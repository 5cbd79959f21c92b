// The setup's links read back, for the tests (support/shell.h loads them as Explorer would).
#pragma once

#include "support/files.h"
#include "support/shell.h"

#include <gtest/gtest.h>

#include <string>

inline std::wstring LinkPathIn(REFKNOWNFOLDERID folder) { return KnownFolderPath(folder) + L"\\ZENKA.lnk"; }

// The link names the launcher in `targetDir` as its program and icon and starts in `targetDir`.
inline void ExpectLinkTo(const std::wstring& linkPath, const std::wstring& targetDir) {
    SCOPED_TRACE(linkPath);
    LinkFields fields;
    ASSERT_TRUE(ReadLink(linkPath, fields));
    EXPECT_EQ(fields.path, targetDir + L"\\ZENKA.exe");
    EXPECT_EQ(fields.workingDirectory, targetDir);
    EXPECT_EQ(fields.description, L"ZENKA Game Launcher & Library Manager");
    EXPECT_EQ(fields.iconPath, targetDir + L"\\ZENKA.exe");
    EXPECT_EQ(fields.iconIndex, 0);
}

