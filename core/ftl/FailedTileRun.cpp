#include "core/ftl/FailedTileRun.h"

#include <algorithm>
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

}  // namespace

FailedListOutcome RunFailedList(const std::string& listPath, RunLog& log, const FailedListOptions& options) {
  FailedListOutcome outcome;
  const std::vector<std::string> records = platform::ReadTextLines(listPath);
  if (records.empty()) {
    log.Append("No failed files records.");
    return outcome;
  }

  download::HttpClient client(options.Limits);
  client.SetProxy(std::string(), 0, std::string(), std::string());
  if (options.Proxy) options.Proxy(client);
  client.SetReferer(kReferer);
  client.SetUserAgent(kUserAgent);
  client.SetConnection(kConnection);

  log.Append("Start...");
  log.ProcessPendingMessages();

  for (std::size_t index = 0; index < records.size() && !outcome.Refused; ++index) {
    const auto [target, url] = task::SplitFailedRecord(records[index]);
    const std::string fetchUrl = options.Secrets ? task::UnmaskSecrets(url, options.Secrets) : url;
    const std::string extension = platform::ExtractFileExt(target) == ".png" ? "png" : "jpg";
    const std::vector<std::string> headers = options.HeadersFor ? options.HeadersFor(url) : std::vector<std::string>{};
    client.SetHeaderLines(headers);
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
      const bool keyRefused = !headers.empty() && download::IsKeyRefusal(result);
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
