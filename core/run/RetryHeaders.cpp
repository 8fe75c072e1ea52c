#include "core/run/RetryHeaders.h"

#include <optional>

#include "core/task/NearmapApi.h"
#include "core/task/TileSource.h"

namespace run {

namespace {

// The template's text before its first placeholder: "https://tiles.example/".
std::string FixedStart(const std::string& urlTemplate) { return urlTemplate.substr(0, urlTemplate.find('{')); }

bool HasHost(const std::string& start) {
  const std::size_t scheme = start.find("://");
  return scheme != std::string::npos && start.size() > scheme + 3;
}

}  // namespace

std::vector<std::string> RetryHeadersFor(const ConfigFile& config, const std::string& url) {
  const NearmapApiSettings api = config.ReadNearmapApi();
  std::string base = api.Account.BaseUrl;
  while (!base.empty() && base.back() == '/') base.pop_back();
  if (!base.empty() && url.rfind(base + "/", 0) == 0) {
    if (api.Secret.empty()) return {};
    return task::ResolvedHeaderLines(task::NearmapSource(api.Account, {}), "", api.Secret);
  }

  std::optional<task::TileSource> source;
  const std::size_t masked = url.find(task::kMaskedSecretStart);
  if (masked != std::string::npos) {
    const std::size_t nameStart = masked + std::char_traits<char>::length(task::kMaskedSecretStart);
    const std::size_t end = url.find('}', nameStart);
    if (end != std::string::npos) source = config.ReadSource(url.substr(nameStart, end - nameStart));
  }
  if (!source) {
    std::size_t longest = 0;
    for (const task::TileSource& candidate : config.ReadSources()) {
      const std::string start = FixedStart(candidate.UrlTemplate);
      if (HasHost(start) && start.size() > longest && url.rfind(start, 0) == 0) {
        longest = start.size();
        source = candidate;
      }
    }
  }
  if (!source) return {};
  return task::ResolvedHeaderLines(*source, "", config.ReadSourceSecret(source->Name));
}

}  // namespace run
