// The failure texts of a request and their socket error numbers: one row per
// curl result and errno.
#include <curl/curl.h>

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "core/download/HttpClient.h"

namespace {

using download::ErrorTextFor;
using download::SocketErrorFor;
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

// One failed transfer: its text and the socket error number it carries.
struct Row {
  const char* Name;
  CURLcode Code;
  long OsErrno;
  const char* ErrorBuffer;
  bool RequestSent;
  std::string Expected;
  int SocketError;
};

class ErrorTextForTest : public testing::TestWithParam<Row> {};

TEST_P(ErrorTextForTest, MapsTheResult) {
  const Row& r = GetParam();
  EXPECT_EQ(ErrorTextFor(r.Code, r.OsErrno, r.ErrorBuffer, r.RequestSent), r.Expected);
  EXPECT_EQ(SocketErrorFor(r.Code, r.OsErrno), r.SocketError);
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
        Row{"NothingReceived", CURLE_GOT_NOTHING, 0, "Empty reply from server", true, "Connection Closed Gracefully.", 0},
        Row{"NothingReceivedStaleErrno", CURLE_GOT_NOTHING, ECONNRESET, "", true, "Connection Closed Gracefully.", 0},
        Row{"ResetOnReceive", CURLE_RECV_ERROR, ECONNRESET, "Recv failure: Connection reset by peer", true, kReset,
            10054},
        Row{"ResetOnSend", CURLE_SEND_ERROR, ECONNRESET, "", false, kReset, 10054},
        Row{"Refused", CURLE_COULDNT_CONNECT, ECONNREFUSED, "Failed to connect", false, kRefused, 10061},
        Row{"TimeOut", CURLE_OPERATION_TIMEDOUT, 0, "Operation too slow", true, kTimedOut, 10060},
        Row{"TimeOutStaleErrno", CURLE_OPERATION_TIMEDOUT, ECONNREFUSED, "", true, kTimedOut, 10060},
        Row{"ConnectTimedOut", CURLE_COULDNT_CONNECT, ETIMEDOUT, "", false, kTimedOut, 10060},
        Row{"AddressInUse", CURLE_COULDNT_CONNECT, EADDRINUSE, "", false, kInUse, 10048},
        Row{"NoFreeLocalPort", CURLE_COULDNT_CONNECT, EADDRNOTAVAIL, "", false, kInUse, 10048},
        Row{"AddressNotAvailableOutsideConnect", CURLE_RECV_ERROR, EADDRNOTAVAIL, "Recv failure", true, "Recv failure",
            0},
        Row{"Aborted", CURLE_RECV_ERROR, ECONNABORTED, "", true, kAbort, 10053},
        Row{"BrokenPipeOnSend", CURLE_SEND_ERROR, EPIPE, "", false, kAbort, 10053},
        Row{"BrokenPipeOutsideSend", CURLE_RECV_ERROR, EPIPE, "Recv failure: x", true, "Recv failure: x", 0},
        Row{"NoRoute", CURLE_COULDNT_CONNECT, EHOSTUNREACH, "", false, "Socket Error # 10065\r\nNo route to host.",
            10065},
        Row{"NetUnreachable", CURLE_COULDNT_CONNECT, ENETUNREACH, "", false,
            "Socket Error # 10051\r\nNetwork is unreachable.", 10051},
        Row{"NetDown", CURLE_SEND_ERROR, ENETDOWN, "", false, "Socket Error # 10050\r\nNetwork is down.", 10050},
        Row{"HostNotResolved", CURLE_COULDNT_RESOLVE_HOST, 0, "Could not resolve host: a.invalid", false,
            kHostNotFound, 11001},
        Row{"ProxyNotResolved", CURLE_COULDNT_RESOLVE_PROXY, 0, "", false, kHostNotFound, 11001},
        // errno is trusted only for connect, send and receive failures.
        Row{"StaleErrnoIgnored", CURLE_WRITE_ERROR, ECONNRESET, "Failure writing output to destination", true,
            "Failure writing output to destination", 0},
        Row{"UnknownErrnoKeepsCurlText", CURLE_COULDNT_CONNECT, ENOENT, "Failed to connect to h port 1", false,
            "Failed to connect to h port 1", 0},
        Row{"NoErrnoKeepsCurlText", CURLE_RECV_ERROR, 0, "Recv failure: odd", true, "Recv failure: odd", 0},
        // A Windows build reports the Windows Sockets number as errno.
        Row{"WindowsSocketsNumber", CURLE_RECV_ERROR, 10054, "", true, kReset, 10054},
        // A body cut short keeps libcurl's words; its byte count is no socket error.
        Row{"CutShort", CURLE_PARTIAL_FILE, 0, "transfer closed with 10054 bytes remaining to read", true,
            "transfer closed with 10054 bytes remaining to read", 0},
        // Clearer words where libcurl's mislead or speak of libcurl itself.
        Row{"UnsupportedScheme", CURLE_UNSUPPORTED_PROTOCOL, 0, "Protocol \"file\" not supported or disabled in libcurl",
            false, "Unsupported URL scheme: only http:// and https:// URLs are fetched.", 0},
        Row{"AnswerNotHttp", CURLE_UNSUPPORTED_PROTOCOL, 0, "Received HTTP/0.9 when not allowed", true,
            "The server's answer is not HTTP/1.x: Received HTTP/0.9 when not allowed", 0},
        Row{"AnswerNotHttpWithoutDetail", CURLE_UNSUPPORTED_PROTOCOL, 0, nullptr, true,
            "The server's answer is not HTTP/1.x.", 0},
        Row{"BadUrl", CURLE_URL_MALFORMAT, 0, "", false, "Bad URL: empty, or not of the form http://host/path.", 0},
        Row{"MalformedAnswer", CURLE_WEIRD_SERVER_REPLY, 0, "Invalid Content-Length: value", true,
            "The server's answer is malformed: Invalid Content-Length: value", 0},
        Row{"HeaderLineTooLong", CURLE_OUT_OF_MEMORY, 0, "", true,
            "A header line of the server's answer is longer than 102400 bytes.", 0},
        Row{"OutOfMemory", CURLE_OUT_OF_MEMORY, 0, "", false, "Out of memory", 0},
        Row{"TlsFailed", CURLE_SSL_CONNECT_ERROR, 0, "OpenSSL/3.0.19: error:0A00010B:SSL routines::wrong version number",
            false,
            "Secure connection (TLS) to the server failed: OpenSSL/3.0.19: error:0A00010B:SSL routines::wrong "
            "version number",
            0},
        Row{"CertificateNotTrusted", CURLE_PEER_FAILED_VERIFICATION, 0,
            "SSL certificate problem: self-signed certificate", false,
            "The server's certificate is not trusted: SSL certificate problem: self-signed certificate", 0},
        Row{"NoTrustedCertificates", CURLE_SSL_CACERT_BADFILE, 0,
            "error setting certificate file: /etc/ssl/certs/ca-certificates.crt", false,
            "The trusted certificates cannot be read: error setting certificate file: "
            "/etc/ssl/certs/ca-certificates.crt",
            0},
        Row{"EmptyBufferFallsBackToCurlText", CURLE_SEND_FAIL_REWIND, 0, "", true,
            curl_easy_strerror(CURLE_SEND_FAIL_REWIND), 0},
        Row{"NullBufferFallsBackToCurlText", CURLE_RANGE_ERROR, 0, nullptr, true, curl_easy_strerror(CURLE_RANGE_ERROR),
            0}),
    [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.Name); });

}  // namespace
