// The contract between the setup and the programs its package delivers: the names they are
// installed under, the link the setup makes and the updater removes, the uninstall entry the setup
// writes and the updater deletes, and the version the build was configured with.
#pragma once

#include "publisher.h"

inline constexpr const wchar_t* LAUNCHER_FILE_NAME = L"ZENKA.exe";
inline constexpr const wchar_t* UPDATER_FILE_NAME = L"zenka-updater.exe";
inline constexpr const wchar_t* LINK_FILE_NAME = L"ZENKA.lnk";
// Below HKEY_LOCAL_MACHINE.
inline constexpr const wchar_t* UNINSTALL_KEY_PATH = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZENKA";
inline constexpr const wchar_t* PRODUCT_VERSION = ZENKA_VERSION;
