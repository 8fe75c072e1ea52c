// Private instances of the real servers that users put in front of the
// program: nginx as a tile server and tinyproxy as an HTTP proxy with Basic
// authorization. Each runs in its own throwaway folder on a free loopback
// port, started by the constructor (which returns once the server accepts
// connections) and killed and reaped by the destructor.
//
// A test first asks MissingRealPeers() and skips when a program is not
// installed:
//   if (auto why = testsupport::MissingRealPeers(); !why.empty()) GTEST_SKIP() << why;
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace testsupport {

// The full path of an installed program, looked up in PATH and the sbin
// folders; "" when it is not there.
std::string FindProgram(const std::string& name);

// "" when nginx and tinyproxy are both installed; otherwise why not.
std::string MissingRealPeers();

// A loopback port that was free a moment ago.
uint16_t FreeLoopbackPort();

// A program running in the background with its output in a file.
class ChildProcess {
 public:
  ChildProcess(const std::string& program, const std::vector<std::string>& args, const std::string& outputFile);
  // Terminates the process (killing it if it does not end soon) and reaps it.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Running();
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
};

// nginx serving a folder of tiles: GET /maps/<name> answers with the file
// put by AddTile(name, ...), any other path with 404.
class NginxPeer {
 public:
  // Throws std::runtime_error with nginx's log when it does not come up.
  NginxPeer();
  ~NginxPeer();

  uint16_t Port() const { return port_; }
  std::string HostPort() const;
  // name is the last segment of a tile URL, e.g. "hl=en&x=1&y=2&z=3&nml=Vert".
  void AddTile(const std::string& name, const std::string& bytes) const;
  std::string TileFolder() const { return dir_.Path() + "root/maps/"; }
  std::string AccessLog() const;
  std::string ErrorLog() const;

 private:
  TempDir dir_;
  uint16_t port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

struct TinyproxyOptions {
  // With a non-empty user name every request needs these Basic credentials
  // (tinyproxy takes letters, digits and "-._" only).
  std::string Username;
  std::string Password;
  // Requests for this host (or, with a leading ".", this domain) go to
  // UpstreamHostPort as their next proxy instead of being resolved: a tile
  // URL with a made-up host reaches a loopback server this way. nginx accepts
  // the absolute-form request that tinyproxy then sends.
  std::string UpstreamSite;
  std::string UpstreamHostPort;
};

class TinyproxyPeer {
 public:
  // Throws std::runtime_error with tinyproxy's log when it does not come up.
  explicit TinyproxyPeer(TinyproxyOptions options = {});
  ~TinyproxyPeer();

  uint16_t Port() const { return port_; }
  std::string Log() const;

 private:
  TempDir dir_;
  uint16_t port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

}  // namespace testsupport
