// The re-download of a failed-tile list: every record fetched once more, one
// after the other, in the calling (main) thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/download/HttpClient.h"

namespace ftl {

inline constexpr const char* kReferer = "https://www.openstreetmap.org/";
inline constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)";
inline constexpr const char* kConnection = "Keep_Alive";

class RunLog {
 public:
  virtual ~RunLog() = default;
  virtual void Append(const std::string& line) = 0;
  // Called once after "Start..." so the window can paint before the requests.
  virtual void ProcessPendingMessages() {}
};

// What became of the records of a run.
struct FailedListOutcome {
  int64_t Saved = 0;
  int64_t Failed = 0;    // fetched and failed again
  int64_t NotTried = 0;  // after a refusal ended the run
  bool Refused = false;  // the server refused this client (302, 403) or the API key
  // The file holds no failed-tile record (it is empty, or some other file):
  // nothing was sent.
  bool NoRecords = false;
};

// A line of a failed-tile list as the download writes it: a tile's file,
// "|", and an http or https address.
bool IsFailedRecord(const std::string& line);
// Said when the file at listPath holds lines but no failed-tile record.
std::string NoRecordText(const std::string& listPath);

// The secret of a tile source of the user's own, by its name (empty when
// the settings file has none).
using SecretOf = std::function<std::string(const std::string& sourceName)>;

struct FailedListOptions {
  download::HttpLimits Limits;
  // A URL with a masked secret (task::MaskedSecret) is fetched with the
  // secret this gives; the lines show it masked, as the list does.
  SecretOf Secrets;
  // Further header lines a record's URL is fetched with (the API key for an
  // address of the Nearmap API); none for the others. A record fetched with
  // them whose answer is 401 or 403 ends the run: the key was refused.
  std::function<std::vector<std::string>(const std::string& url)> HeadersFor;
  // Sets up the client's proxy (the command line uses the settings file's);
  // without it the run connects directly, as the window's does.
  std::function<void(download::HttpClient&)> Proxy;
};

// Runs the list at listPath, writing its lines to log. An answer that is no
// tile of the target's format (jpg or png) fails as another failure does. A
// file without a failed-tile record (IsFailedRecord) is refused with
// NoRecordText before anything is sent. A record whose folder is gone while
// a folder of that name lies beside the list (the task was moved) is written
// there, and the log says so once per folder.
// Throws platform::FileError when the list cannot be read or a tile cannot be
// saved.
FailedListOutcome RunFailedList(const std::string& listPath, RunLog& log, const FailedListOptions& options = {});

}  // namespace ftl
