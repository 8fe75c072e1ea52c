#include "core/ftl/FailedTileRun.h"

#include <string_view>
#include <vector>

#include "core/platform/Files.h"

namespace ftl {

namespace {

constexpr const char* kBannedMessage = "Error: may be your IP is banned.\nPlease try again later.";

bool Contains(std::string_view text, std::string_view piece) {
  return text.find(piece) != std::string_view::npos;
}

void SaveTile(const std::string& target, const std::string& body) {
  // An empty target would make the atomic writer put its temporary file into
  // the current folder; it cannot name a file anyway.
  if (target.empty()) platform::ThrowCannotCreate(target);
  platform::WriteFileAtomic(target, body);
}

}  // namespace

std::pair<std::string, std::string> SplitRecord(const std::string& record) {
  const auto bar = record.find('|');
  if (bar == std::string::npos) return {std::string(), record};
  return {record.substr(0, bar), record.substr(bar + 1)};
}

void RunFailedList(const std::string& listPath, RunLog& log, download::HttpLimits limits) {
  const std::vector<std::string> records = platform::ReadTextLines(listPath);
  if (records.empty()) {
    log.Append("No failed files records.");
    return;
  }

  download::HttpClient client(limits);
  // This run always connects directly, whatever the settings say.
  client.SetProxy(std::string(), 0, std::string(), std::string());
  client.SetReferer(kReferer);
  client.SetUserAgent(kUserAgent);
  client.SetConnection(kConnection);

  log.Append("Start...");
  log.ProcessPendingMessages();

  for (const std::string& record : records) {
    const auto [target, url] = SplitRecord(record);
    bool stopRun = false;
    for (int resets = 0;; ++resets) {
      // A fresh buffer per request: a reset attempt leaves nothing behind.
      std::string body;
      const download::HttpResult result = client.Get(url, body);
      if (result.Ok) {
        SaveTile(target, body);
        log.Append(target + ":" + url + " ->OK");
        break;
      }
      const std::string& error = result.ErrorText;
      if (Contains(error, "10054") && resets < kMaxResetRepeats) continue;
      log.Append(error + "->" + url);
      if (Contains(error, "302") || Contains(error, "403")) {
        log.Append(kBannedMessage);
        stopRun = true;
      } else if (Contains(error, "404")) {
        log.Append(url + ":Error: the image is not found on server.");
      }
      break;
    }
    if (stopRun) break;
  }
  log.Append("Download End.");
}

}  // namespace ftl
