#include "core/ftl/FailedTileRun.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <string_view>
#include <vector>

#include "core/download/FailureRules.h"
#include "core/platform/FileBytes.h"
#include "core/platform/Files.h"
#include "core/task/TaskFiles.h"
#include "core/task/Unitclasstask.h"

namespace ftl {

namespace {

void SaveTile(const std::string& target, const std::string& body) {
  // An empty target would make the atomic writer put its temporary file into
  // the current folder; it cannot name a file anyway.
  if (target.empty()) platform::ThrowCannotCreate(target);
  // Nor is a named pipe in the tile's place written into: it would wait for a reader.
  if (platform::FileBytes(target, 0).What() == platform::FileBytes::Kind::Other) {
    throw platform::FileError("Cannot create file " + target, platform::kNotRegularFile);
  }
  platform::WriteFileAtomic(target, body);
}

bool StartsWith(const std::string& text, std::string_view start) {
  if (text.size() < start.size()) return false;
  for (std::size_t i = 0; i < start.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != start[i]) return false;
  }
  return true;
}

// A record's header lines carry a key: the API's Authorization.
bool CarriesKey(const std::vector<std::string>& headers) {
  return std::any_of(headers.begin(), headers.end(),
                     [](const std::string& line) { return StartsWith(line, "authorization:"); });
}

// Where a record's tile goes: its own target, or, when its folder is gone, a
// folder of the same name beside the list (the task was moved there).
std::string TargetOf(const std::string& target, const std::string& listFolder) {
  const std::string folder = platform::ExtractFilePath(target);
  if (folder.size() < 2 || platform::DirectoryExists(folder)) return target;
  const std::string name = platform::ExtractFileName(folder.substr(0, folder.size() - 1));
  if (name.empty()) return target;
  const std::string beside = platform::IncludeTrailingDelimiter(listFolder + name);
  if (beside == folder || !platform::DirectoryExists(beside)) return target;
  return beside + platform::ExtractFileName(target);
}

}  // namespace

bool IsFailedRecord(const std::string& line) {
  const auto [target, url] = task::SplitFailedRecord(line);
  return !target.empty() && line.find('|') != std::string::npos &&
         (StartsWith(url, "http://") || StartsWith(url, "https://"));
}

std::string NoRecordText(const std::string& listPath) {
  return listPath +
         " holds no failed-tile record (a line of a tile's file, \"|\" and its address): nothing was fetched.";
}

FailedListOutcome RunFailedList(const std::string& listPath, RunLog& log, const FailedListOptions& options) {
  FailedListOutcome outcome;
  const std::vector<std::string> records = platform::ReadTextLines(listPath);
  if (records.empty()) {
    log.Append("No failed files records.");
    outcome.NoRecords = true;
    return outcome;
  }
  if (std::none_of(records.begin(), records.end(), IsFailedRecord)) {
    log.Append(NoRecordText(listPath));
    outcome.NoRecords = true;
    return outcome;
  }
  const std::string listFolder = platform::ExtractFilePath(listPath);
  std::set<std::string> movedFolders;

  download::HttpClient client(options.Limits);
  client.SetProxy(std::string(), 0, std::string(), std::string());
  if (options.Proxy) options.Proxy(client);
  client.SetReferer(kReferer);
  client.SetUserAgent(kUserAgent);
  client.SetConnection(kConnection);

  log.Append("Start...");
  log.ProcessPendingMessages();

  for (std::size_t index = 0; index < records.size() && !outcome.Refused; ++index) {
    const auto [listed, url] = task::SplitFailedRecord(records[index]);
    const std::string target = TargetOf(listed, listFolder);
    if (target != listed && movedFolders.insert(platform::ExtractFilePath(listed)).second) {
      log.Append("The task was moved: " + platform::ExtractFilePath(listed) + " is gone, its tiles go to " +
                 platform::ExtractFilePath(target));
    }
    const std::string fetchUrl = options.Secrets ? task::UnmaskSecrets(url, options.Secrets) : url;
    const std::string extension = platform::ExtractFileExt(target) == ".png" ? "png" : "jpg";
    const std::vector<std::string> headers = options.HeadersFor ? options.HeadersFor(url) : std::vector<std::string>{};
    client.SetHeaderLines(headers);
    // A tile source's own headers stand alone, as its download sent them.
    client.SetReferer(headers.empty() ? kReferer : "");
    client.SetUserAgent(headers.empty() ? kUserAgent : "");
    for (int64_t requests = 0;;) {
      // A fresh buffer per request: a reset attempt leaves nothing behind.
      std::string body;
      const download::HttpResult result = download::GetTile(client, fetchUrl, extension, body);
      if (result.Ok) {
        SaveTile(target, body);
        log.Append(target + ":" + url + " ->OK");
        ++outcome.Saved;
        break;
      }
      // Only a reset is repeated (neither a closed connection nor an address
      // in use), at once and a bounded number of times; libcurl's own
      // repetition of a request counts too.
      requests += std::max(result.RequestsSent, 1);
      if (download::IsConnectionReset(result) && requests <= download::kImmediateResetRepeats) continue;
      log.Append(result.ErrorText + "->" + url);
      ++outcome.Failed;
      const bool keyRefused = (CarriesKey(headers) || fetchUrl != url) && download::IsKeyRefusal(result);
      if (keyRefused || download::IsRefusal(result)) {
        log.Append(keyRefused ? download::kKeyRefusedMessage : download::kBannedMessage);
        outcome.Refused = true;
        outcome.NotTried = static_cast<int64_t>(records.size() - index - 1);
      } else if (download::IsNotFound(result)) {
        log.Append(url + ":" + download::kNotFoundMessage);
      }
      break;
    }
  }
  log.Append("Download End.");
  return outcome;
}

}  // namespace ftl
