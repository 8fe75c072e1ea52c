// What a run of a task is given beside the task: how many workers and
// position slots, whether it continues the task's earlier run, the proxy,
// and the secret of the task's imagery. None of it belongs to the task: the
// task file keeps only the worker count and their positions, the log shows
// the proxy with its password masked, and the secret is never written to a
// file or a log.
#pragma once

#include <cstdint>
#include <string>

namespace task {

// The proxy as the settings file holds it: the port a text as typed.
struct ProxySettings {
  bool UseProxy = false;
  std::string ProxyServer;
  std::string ProxyPort;
  std::string ProxyUsername;
  std::string ProxyPassword;
};

struct RunSettings {
  int32_t ThreadCount = 8;
  // Position slots the task file is written with.
  int32_t ThreadSlots = 8;
  // The task file is the task's own from an earlier run: its files stay, the
  // workers resume from its positions.
  bool ContinueTask = false;
  ProxySettings Proxy;
  // The secret of a tile source of the user's own, or the Nearmap API's key
  // (from the settings file).
  std::string SourceSecret;
};

}  // namespace task
