// The failure texts of a request: one row per curl result and errno.
#include <curl/curl.h>

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "core/download/HttpClient.h"

namespace {

using download::ErrorTextFor;
using download::SocketErrorText;

struct SocketRow {
  int Code;
  const char* Text;
};

class SocketErrorTextTest : public testing::TestWithParam<SocketRow> {};

TEST_P(SocketErrorTextTest, KeepsTheWindowsSocketsNumberAndWords) {
  EXPECT_EQ(SocketErrorText(GetParam().Code), GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SocketErrorTextTest,
    testing::Values(SocketRow{10048, "Socket Error # 10048\r\nAddress already in use."},
                    SocketRow{10050, "Socket Error # 10050\r\nNetwork is down."},
                    SocketRow{10051, "Socket Error # 10051\r\nNetwork is unreachable."},
                    SocketRow{10053, "Socket Error # 10053\r\nSoftware caused connection abort."},
                    SocketRow{10054, "Socket Error # 10054\r\nConnection reset by peer."},
                    SocketRow{10060, "Socket Error # 10060\r\nConnection timed out."},
                    SocketRow{10061, "Socket Error # 10061\r\nConnection refused."},
                    SocketRow{10065, "Socket Error # 10065\r\nNo route to host."},
                    SocketRow{11001, "Socket Error # 11001\r\nHost not found."}),
    [](const testing::TestParamInfo<SocketRow>& info) { return "Wsa" + std::to_string(info.param.Code); });

struct Row {
  const char* Name;
  CURLcode Code;
  long OsErrno;
  const char* ErrorBuffer;
  std::string Expected;
};

class ErrorTextForTest : public testing::TestWithParam<Row> {};

TEST_P(ErrorTextForTest, MapsTheResult) {
  const Row& r = GetParam();
  EXPECT_EQ(ErrorTextFor(r.Code, r.OsErrno, r.ErrorBuffer), r.Expected);
}

const std::string kReset = "Socket Error # 10054\r\nConnection reset by peer.";
const std::string kRefused = "Socket Error # 10061\r\nConnection refused.";
const std::string kTimedOut = "Socket Error # 10060\r\nConnection timed out.";
const std::string kInUse = "Socket Error # 10048\r\nAddress already in use.";
const std::string kAbort = "Socket Error # 10053\r\nSoftware caused connection abort.";
const std::string kHostNotFound = "Socket Error # 11001\r\nHost not found.";

INSTANTIATE_TEST_SUITE_P(
    Table, ErrorTextForTest,
    testing::Values(
        // A connection closed with nothing received has its own text, whatever
        // errno is left over.
        Row{"NothingReceived", CURLE_GOT_NOTHING, 0, "Empty reply from server", "Connection Closed Gracefully."},
        Row{"NothingReceivedStaleErrno", CURLE_GOT_NOTHING, ECONNRESET, "", "Connection Closed Gracefully."},
        Row{"ResetOnReceive", CURLE_RECV_ERROR, ECONNRESET, "Recv failure: Connection reset by peer", kReset},
        Row{"ResetOnSend", CURLE_SEND_ERROR, ECONNRESET, "", kReset},
        Row{"Refused", CURLE_COULDNT_CONNECT, ECONNREFUSED, "Failed to connect", kRefused},
        Row{"TimeOut", CURLE_OPERATION_TIMEDOUT, 0, "Operation too slow", kTimedOut},
        Row{"TimeOutStaleErrno", CURLE_OPERATION_TIMEDOUT, ECONNREFUSED, "", kTimedOut},
        Row{"ConnectTimedOut", CURLE_COULDNT_CONNECT, ETIMEDOUT, "", kTimedOut},
        Row{"AddressInUse", CURLE_COULDNT_CONNECT, EADDRINUSE, "", kInUse},
        Row{"NoFreeLocalPort", CURLE_COULDNT_CONNECT, EADDRNOTAVAIL, "", kInUse},
        Row{"AddressNotAvailableOutsideConnect", CURLE_RECV_ERROR, EADDRNOTAVAIL, "Recv failure", "Recv failure"},
        Row{"Aborted", CURLE_RECV_ERROR, ECONNABORTED, "", kAbort},
        Row{"BrokenPipeOnSend", CURLE_SEND_ERROR, EPIPE, "", kAbort},
        Row{"BrokenPipeOutsideSend", CURLE_RECV_ERROR, EPIPE, "Recv failure: x", "Recv failure: x"},
        Row{"NoRoute", CURLE_COULDNT_CONNECT, EHOSTUNREACH, "", "Socket Error # 10065\r\nNo route to host."},
        Row{"NetUnreachable", CURLE_COULDNT_CONNECT, ENETUNREACH, "", "Socket Error # 10051\r\nNetwork is unreachable."},
        Row{"NetDown", CURLE_SEND_ERROR, ENETDOWN, "", "Socket Error # 10050\r\nNetwork is down."},
        Row{"HostNotResolved", CURLE_COULDNT_RESOLVE_HOST, 0, "Could not resolve host: a.invalid", kHostNotFound},
        Row{"ProxyNotResolved", CURLE_COULDNT_RESOLVE_PROXY, 0, "", kHostNotFound},
        // errno is trusted only for connect, send and receive failures.
        Row{"StaleErrnoIgnored", CURLE_WRITE_ERROR, ECONNRESET, "Failure writing output to destination",
            "Failure writing output to destination"},
        Row{"UnknownErrnoKeepsCurlText", CURLE_COULDNT_CONNECT, ENOENT, "Failed to connect to h port 1",
            "Failed to connect to h port 1"},
        Row{"NoErrnoKeepsCurlText", CURLE_RECV_ERROR, 0, "Recv failure: odd", "Recv failure: odd"},
        // A Windows build reports the Windows Sockets number as errno.
        Row{"WindowsSocketsNumber", CURLE_RECV_ERROR, 10054, "", kReset},
        Row{"EmptyBufferFallsBackToCurlText", CURLE_URL_MALFORMAT, 0, "",
            curl_easy_strerror(CURLE_URL_MALFORMAT)},
        Row{"NullBufferFallsBackToCurlText", CURLE_UNSUPPORTED_PROTOCOL, 0, nullptr,
            curl_easy_strerror(CURLE_UNSUPPORTED_PROTOCOL)}),
    [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.Name); });

}  // namespace
