// The sorting of a failed request's text into the worker's failure classes.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "core/download/HttpClient.h"
#include "core/download/Unit3.h"

namespace {

using download::Classify;
using download::FailureClass;

struct Row {
  const char* name;
  std::string text;
  FailureClass expected;
};
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

class ClassifyTable : public ::testing::TestWithParam<Row> {};

TEST_P(ClassifyTable, SortsTextIntoItsClass) {
  EXPECT_EQ(Classify(GetParam().text), GetParam().expected) << GetParam().text;
}

const Row kRows[] = {
    // One row per class, with the texts the client really produces.
    {"Reset", download::SocketErrorText(10054), FailureClass::Reset},
    {"ClosedConnection", "Connection Closed Gracefully.", FailureClass::Reset},
    {"AddressInUse", download::SocketErrorText(10048), FailureClass::AddressInUse},
    {"Redirect", "HTTP/1.1 302 Found", FailureClass::Refused},
    {"Forbidden", "HTTP/1.1 403 Forbidden", FailureClass::Refused},
    {"TimedOut", download::SocketErrorText(10060), FailureClass::Network},
    {"Refused", download::SocketErrorText(10061), FailureClass::Network},
    {"HostNotFound", download::SocketErrorText(11001), FailureClass::Network},
    {"RequestTimeout", "HTTP/1.1 408 Request Timeout", FailureClass::Network},
    {"NotFound", "HTTP/1.1 404 Not Found", FailureClass::NotFound},
    {"BadRequest", "HTTP/1.1 400 Bad Request", FailureClass::NotFound},
    {"ServerError", "HTTP/1.1 500 Internal Server Error", FailureClass::Other},
    {"ProxyAuth", "HTTP/1.1 407 Proxy Authentication Required", FailureClass::Other},
    {"ClientMessage", "Unsupported protocol", FailureClass::Other},
    {"NoText", "", FailureClass::NoText},
    // The first matching row wins.
    {"ResetBeforeNotFound", "Socket Error # 10054 and 404", FailureClass::Reset},
    {"ClosedBeforeRefused", "HTTP/1.1 403 Connection Closed Gracefully", FailureClass::Reset},
    {"AddressInUseBeforeRefused", "HTTP/1.1 302 10048", FailureClass::AddressInUse},
    {"RefusedBeforeNetwork", "Socket Error # 403", FailureClass::Refused},
    {"NetworkBeforeNotFound", "HTTP/1.1 404 408", FailureClass::Network},
    // The digits count anywhere, also inside a longer number or a reason.
    {"DigitsInsideNumber", "HTTP/1.1 599 x14040", FailureClass::NotFound},
    // Tested as written: another case of the words is another text.
    {"CaseAsWritten", "connection closed gracefully.", FailureClass::Other},
    {"SocketErrorCase", "socket error # 1", FailureClass::Other},
};

INSTANTIATE_TEST_SUITE_P(Rows, ClassifyTable, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
