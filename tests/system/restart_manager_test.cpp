// The Restart Manager sequence, watched through a table of fake functions (Wine's real Restart
// Manager answers success and shuts nothing down), and one real call.
#include "system/restart_manager.h"
#include "system/restart_manager_api.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Call {
    std::wstring name;
    DWORD session = 0;
    std::vector<std::wstring> files;
    UINT applications = 0;
    UINT services = 0;
    ULONG actionFlags = 0;
    bool hasCallback = false;
};

Call NewCall(const wchar_t* name, DWORD session = 0) {
    Call call;
    call.name = name;
    call.session = session;
    return call;
}

const DWORD FAKE_SESSION = 0x5e55;

std::vector<Call> g_calls;
DWORD g_startResult = ERROR_SUCCESS;
DWORD g_registerResult = ERROR_SUCCESS;
bool g_keyWasZeroed = false;

DWORD WINAPI FakeStart(DWORD* session, DWORD flags, WCHAR* key) {
    g_keyWasZeroed = true;
    for (size_t i = 0; i <= CCH_RM_SESSION_KEY; ++i) g_keyWasZeroed = g_keyWasZeroed && key[i] == L'\0';
    Call call = NewCall(L"start");
    call.actionFlags = flags;
    g_calls.push_back(call);
    if (g_startResult == ERROR_SUCCESS) *session = FAKE_SESSION;
    return g_startResult;
}

DWORD WINAPI FakeRegister(DWORD session, UINT fileCount, LPCWSTR files[], UINT applications,
                          RM_UNIQUE_PROCESS*, UINT services, LPCWSTR[]) {
    Call call = NewCall(L"register", session);
    for (UINT i = 0; i < fileCount; ++i) call.files.push_back(files[i]);
    call.applications = applications;
    call.services = services;
    g_calls.push_back(call);
    return g_registerResult;
}

DWORD WINAPI FakeShutdown(DWORD session, ULONG actionFlags, RM_WRITE_STATUS_CALLBACK callback) {
    Call call = NewCall(L"shutdown", session);
    call.actionFlags = actionFlags;
    call.hasCallback = callback != nullptr;
    g_calls.push_back(call);
    return ERROR_ACCESS_DENIED; // never examined
}

DWORD WINAPI FakeEnd(DWORD session) {
    g_calls.push_back(NewCall(L"end", session));
    return ERROR_SUCCESS;
}

const RestartManagerApi FAKE_API{&FakeStart, &FakeRegister, &FakeShutdown, &FakeEnd};

std::vector<std::wstring> CallNames() {
    std::vector<std::wstring> names;
    for (const Call& call : g_calls) names.push_back(call.name);
    return names;
}

class RestartManagerSequence : public testing::Test {
protected:
    void SetUp() override {
        g_calls.clear();
        g_startResult = ERROR_SUCCESS;
        g_registerResult = ERROR_SUCCESS;
        g_keyWasZeroed = false;
    }
};

TEST_F(RestartManagerSequence, ForcesTheShutdownOfBothFilesAndEndsTheSession) {
    EXPECT_TRUE(ReleaseLockedFilesWith(FAKE_API, L"C:\\Program Files\\ZENKA"));

    ASSERT_EQ(CallNames(), (std::vector<std::wstring>{L"start", L"register", L"shutdown", L"end"}));
    EXPECT_TRUE(g_keyWasZeroed);
    EXPECT_EQ(g_calls[0].actionFlags, 0u); // session flags
    const Call& registration = g_calls[1];
    EXPECT_EQ(registration.session, FAKE_SESSION);
    EXPECT_EQ(registration.files, (std::vector<std::wstring>{L"C:\\Program Files\\ZENKA\\ZENKA.exe",
                                                             L"C:\\Program Files\\ZENKA\\zenka-updater.exe"}));
    EXPECT_EQ(registration.applications, 0u);
    EXPECT_EQ(registration.services, 0u);
    EXPECT_EQ(g_calls[2].session, FAKE_SESSION);
    EXPECT_EQ(g_calls[2].actionFlags, static_cast<ULONG>(RmForceShutdown));
    EXPECT_FALSE(g_calls[2].hasCallback);
    EXPECT_EQ(g_calls[3].session, FAKE_SESSION);
}

TEST_F(RestartManagerSequence, NoSessionMeansFalseAndNothingElse) {
    g_startResult = ERROR_SEM_TIMEOUT;
    EXPECT_FALSE(ReleaseLockedFilesWith(FAKE_API, L"C:\\Games\\ZENKA"));
    EXPECT_EQ(CallNames(), (std::vector<std::wstring>{L"start"}));
}

TEST_F(RestartManagerSequence, FailedRegistrationSkipsTheShutdownButEndsTheSession) {
    g_registerResult = ERROR_BAD_ARGUMENTS;
    EXPECT_TRUE(ReleaseLockedFilesWith(FAKE_API, L"C:\\Games\\ZENKA"));
    EXPECT_EQ(CallNames(), (std::vector<std::wstring>{L"start", L"register", L"end"}));
    EXPECT_EQ(g_calls[2].session, FAKE_SESSION);
}

TEST_F(RestartManagerSequence, TrailingBackslashIsKeptAsIs) {
    EXPECT_TRUE(ReleaseLockedFilesWith(FAKE_API, L"D:\\ZENKA\\"));
    ASSERT_EQ(g_calls.size(), 4u);
    EXPECT_EQ(g_calls[1].files,
              (std::vector<std::wstring>{L"D:\\ZENKA\\\\ZENKA.exe", L"D:\\ZENKA\\\\zenka-updater.exe"}));
}

TEST(RestartManagerReal, SessionOpensAndClosesForAMissingDirectory) {
    // A first installation: nothing exists yet and nothing holds the files.
    EXPECT_TRUE(ReleaseLockedFiles(L"C:\\zenka-rm-test-does-not-exist"));
    EXPECT_TRUE(ReleaseLockedFiles(L"C:\\zenka-rm-test-does-not-exist")); // and again, as before extraction
}

} // namespace
