// The HTTP layer: URL splitting, and requests seen from the fault server's side.
#include "install/transfer.h"

#include "download/test_servers.h"

#include <gtest/gtest.h>

#include <chrono>

TEST(TransferUrl, SplitsHttpAndHttpsWithDefaultAndExplicitPorts) {
    TransferTarget target;
    ASSERT_TRUE(SplitTransferUrl(L"http://cdn.example.test/releases/stable/ZENKA-latest-full.zip", target));
    EXPECT_STREQ(target.hostName, L"cdn.example.test");
    EXPECT_EQ(target.port, 80);
    EXPECT_EQ(target.scheme, INTERNET_SCHEME_HTTP);
    EXPECT_STREQ(target.urlPath, L"/releases/stable/ZENKA-latest-full.zip");

    ASSERT_TRUE(SplitTransferUrl(L"https://cdn.example.test/a.zip", target));
    EXPECT_EQ(target.port, 443);
    EXPECT_EQ(target.scheme, INTERNET_SCHEME_HTTPS);

    ASSERT_TRUE(SplitTransferUrl(L"https://127.0.0.1:8443/a.zip", target));
    EXPECT_STREQ(target.hostName, L"127.0.0.1");
    EXPECT_EQ(target.port, 8443);
}

TEST(TransferUrl, RefusesWhatItCannotRequest) {
    TransferTarget target;
    EXPECT_FALSE(SplitTransferUrl(L"", target));
    EXPECT_FALSE(SplitTransferUrl(L"releases/a.zip", target));
    EXPECT_FALSE(SplitTransferUrl(L"ftp://cdn.example.test/a.zip", target));
    EXPECT_FALSE(SplitTransferUrl(L"http://" + std::wstring(256, L'h') + L"/a.zip", target));
    EXPECT_FALSE(SplitTransferUrl(L"http://h/" + std::wstring(1023, L'p'), target));
    // The longest path that still fits its buffer with the terminating null.
    EXPECT_TRUE(SplitTransferUrl(L"http://h/" + std::wstring(1022, L'p'), target));
}

TEST(TransferRequest, RangeHeaderOnlyWhenResuming) {
    EXPECT_EQ(BuildRangeHeader(1000), L"Range: bytes=1000-\r\n");
    EXPECT_EQ(BuildRangeHeader(UINT64_MAX), L"Range: bytes=18446744073709551615-\r\n");

    const std::wstring url = SetScenario("transfer-range", "{\"file\":\"" + SmallFileUnixPath() + "\"}");
    TransferTarget target;
    ASSERT_TRUE(SplitTransferUrl(url, target));
    TransferHandles handles;
    DWORD status = 0;
    uint64_t length = 0;
    ASSERT_TRUE(SendTransferRequest(handles, target, 0, status, length));
    EXPECT_EQ(status, 200u);
    EXPECT_EQ(length, 4u << 20);
    ASSERT_NE(handles.request.Get(), nullptr);
    // A second call replaces the first call's handles.
    ASSERT_TRUE(SendTransferRequest(handles, target, 1000, status, length));
    EXPECT_EQ(status, 206u);
    EXPECT_EQ(length, (4u << 20) - 1000);
    CloseTransferHandles(handles);
    EXPECT_EQ(handles.request.Get(), nullptr);
    EXPECT_EQ(handles.connection.Get(), nullptr);
    EXPECT_EQ(handles.session.Get(), nullptr);
    CloseTransferHandles(handles); // an empty record is fine

    const std::vector<LoggedRequest> log = FaultLog("transfer-range");
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].range, "-");
    EXPECT_EQ(log[1].range, "bytes=1000-");
    EXPECT_EQ(log[0].agent, "ZENKA-Bootstrapper/1.0");
    EXPECT_EQ(log[1].agent, "ZENKA-Bootstrapper/1.0");
}

TEST(TransferRequest, MissingOrZeroContentLengthReadsAsZero) {
    TransferTarget target;
    TransferHandles handles;
    DWORD status = 0;
    uint64_t length = 7;
    ASSERT_TRUE(SplitTransferUrl(SetScenario("transfer-nolength", "{\"file\":\"" + SmallFileUnixPath() +
                                                                      "\",\"responses\":[{\"no_length\":true}]}"),
                                 target));
    ASSERT_TRUE(SendTransferRequest(handles, target, 0, status, length));
    EXPECT_EQ(status, 200u);
    EXPECT_EQ(length, 0u);

    length = 7;
    ASSERT_TRUE(SplitTransferUrl(SetScenario("transfer-zero", "{\"responses\":[{\"status\":404,\"length\":0}]}"),
                                 target));
    ASSERT_TRUE(SendTransferRequest(handles, target, 0, status, length)); // any status is an answer
    EXPECT_EQ(status, 404u);
    EXPECT_EQ(length, 0u);
}

TEST(TransferRequest, FailsWithoutServerAndWhenTheAnswerStallsPastTheTimeout) {
    TransferTarget target;
    TransferHandles handles;
    DWORD status = 0;
    uint64_t length = 0;
    ASSERT_TRUE(SplitTransferUrl(DeadUrl(), target));
    EXPECT_FALSE(SendTransferRequest(handles, target, 0, status, length));

    ASSERT_TRUE(SplitTransferUrl(SetScenario("transfer-stall", "{\"responses\":[{\"stall\":25}]}"), target));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(SendTransferRequest(handles, target, 0, status, length));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::seconds(14));
    EXPECT_LT(waited, std::chrono::seconds(24));
}

TEST(TransferUrl, QueryStaysWithThePath) {
    // Signed download links carry their token in the query; it must reach the server.
    TransferTarget target;
    ASSERT_TRUE(SplitTransferUrl(L"https://cdn.example.test/a.zip?token=abc&e=1", target));
    EXPECT_STREQ(target.urlPath, L"/a.zip?token=abc&e=1");
}

TEST(TransferRequest, HttpsUrlSpeaksTlsToTheServer) {
    // The fault server speaks plain HTTP only: a secure request cannot get an answer from it,
    // where the same URL with "http" gets one.
    const std::wstring plain = SetScenario("transfer-https", "{\"file\":\"" + SmallFileUnixPath() + "\"}");
    TransferTarget target;
    TransferHandles handles;
    DWORD status = 0;
    uint64_t length = 0;
    ASSERT_TRUE(SplitTransferUrl(L"https" + plain.substr(4), target));
    EXPECT_EQ(target.scheme, INTERNET_SCHEME_HTTPS);
    EXPECT_FALSE(SendTransferRequest(handles, target, 0, status, length));
    EXPECT_TRUE(FaultLog("transfer-https").empty());
    ASSERT_TRUE(SplitTransferUrl(plain, target));
    EXPECT_TRUE(SendTransferRequest(handles, target, 0, status, length));
    EXPECT_EQ(status, 200u);
}

TEST(TransferRequest, IfRangeOnlyWithARangeAndAValidatorAndTheValidatorsReadBack) {
    const std::wstring url = SetScenario("transfer-if-range", "{\"file\":\"" + SmallFileUnixPath() +
                                                                   "\",\"responses\":[{\"etag\":\"\\\"v1\\\"\","
                                                                   "\"last_modified\":\"Tue, 04 Jun 2024 10:00:00 GMT\"}]}");
    TransferTarget target;
    ASSERT_TRUE(SplitTransferUrl(url, target));
    TransferHandles handles;
    DWORD status = 0;
    uint64_t length = 0;
    ASSERT_TRUE(SendTransferRequest(handles, target, 0, status, length, L"\"v1\""));
    EXPECT_EQ(status, 200u);
    EXPECT_EQ(QueryResponseHeader(handles, WINHTTP_QUERY_ETAG), L"\"v1\"");
    EXPECT_EQ(QueryResponseHeader(handles, WINHTTP_QUERY_LAST_MODIFIED), L"Tue, 04 Jun 2024 10:00:00 GMT");
    EXPECT_EQ(QueryResponseHeader(handles, WINHTTP_QUERY_CONTENT_RANGE), L"");
    ASSERT_TRUE(SendTransferRequest(handles, target, 1000, status, length, L"\"v1\""));
    EXPECT_EQ(status, 206u);
    EXPECT_EQ(QueryResponseHeader(handles, WINHTTP_QUERY_CONTENT_RANGE), L"bytes 1000-4194303/4194304");
    ASSERT_TRUE(SendTransferRequest(handles, target, 1000, status, length, L"\"v0\""));
    EXPECT_EQ(status, 200u); // another file now: the whole of it
    ASSERT_TRUE(SendTransferRequest(handles, target, 1000, status, length));
    EXPECT_EQ(status, 206u);
    CloseTransferHandles(handles);
    EXPECT_EQ(QueryResponseHeader(handles, WINHTTP_QUERY_ETAG), L"");

    const std::vector<LoggedRequest> log = FaultLog("transfer-if-range");
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].ifRange, "-"); // nothing to continue, nothing to condition
    EXPECT_EQ(log[1].ifRange, "\"v1\"");
    EXPECT_EQ(log[2].ifRange, "\"v0\"");
    EXPECT_EQ(log[3].ifRange, "-");
    EXPECT_EQ(log[3].range, "bytes=1000-");
}
