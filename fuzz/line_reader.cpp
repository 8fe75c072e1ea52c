// The line readers over any bytes, and the split of a failed-list record.
// Input: the bytes of a text file.
//
// Invariants: platform::ReadTextLines and platform::SplitLines give the text
// between line ends (CR LF, LF or CR; a reference split), with no empty line
// for a final line end and no CR or LF inside a line; the lines joined with
// CR LF read back as the same lines and, where the file already had CR LF
// after every line, as the same bytes; task::SplitFailedRecord cuts a record at its
// first "|", so the path part holds none and path "|" URL gives the record.
#include <string>
#include <string_view>
#include <vector>

#include "core/task/TaskFiles.h"
#include "core/task/Unitclasstask.h"
#include "core/platform/Files.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string path = fuzz::ScratchFolder() + "list_failed.ftl";
  fuzz::WriteBytes(path, bytes);

  std::vector<std::string> expected;
  bool allCrLf = true;
  for (const fuzz::RawLine& line : fuzz::SplitKeepingEnds(bytes)) {
    expected.push_back(line.text);
    allCrLf = allCrLf && line.end == "\r\n";
  }
  const std::vector<std::string> lines = platform::ReadTextLines(path);
  FUZZ_CHECK(lines == expected, "ReadTextLines of " + fuzz::Quote(bytes));
  FUZZ_CHECK(platform::SplitLines(bytes) == expected, "SplitLines of " + fuzz::Quote(bytes));

  const std::string joined = platform::JoinLinesCrLf(lines);
  FUZZ_CHECK(platform::SplitLines(joined) == lines, "joined lines of " + fuzz::Quote(bytes));
  FUZZ_CHECK(!allCrLf || joined == bytes, "CR LF lines of " + fuzz::Quote(bytes) + " joined differently");

  for (const std::string& record : lines) {
    FUZZ_CHECK(record.find_first_of("\r\n") == std::string::npos, "line break inside " + fuzz::Quote(record));
    const auto [target, url] = task::SplitFailedRecord(record);
    const std::size_t bar = record.find('|');
    FUZZ_CHECK(bar == std::string::npos ? target.empty() && url == record
                                        : target.find('|') == std::string::npos && target + "|" + url == record,
               "SplitFailedRecord(" + fuzz::Quote(record) + ") = " + fuzz::Quote(target) + ", " + fuzz::Quote(url));
  }
  return 0;
}
