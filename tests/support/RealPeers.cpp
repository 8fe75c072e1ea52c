#include "tests/support/RealPeers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace testsupport {

namespace {

constexpr auto kStartDeadline = std::chrono::seconds(10);
constexpr auto kStopDeadline = std::chrono::seconds(5);
constexpr int kStartAttempts = 3;

std::string ReadIfThere(const std::string& path) {
  try {
    return ReadFileBytes(path);
  } catch (const std::exception&) {
    return {};
  }
}

bool Accepts(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

// Waits until the process accepts connections on port; false when it ended
// or the deadline passed.
bool WaitAccepting(ChildProcess& process, uint16_t port) {
  const auto end = std::chrono::steady_clock::now() + kStartDeadline;
  while (std::chrono::steady_clock::now() < end) {
    if (!process.Running()) return false;
    if (Accepts(port)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

std::string Decimal(unsigned value) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + value % 10));
    value /= 10;
  } while (value != 0);
  return digits;
}

}  // namespace

std::string FindProgram(const std::string& name) {
  std::vector<std::string> dirs;
  if (const char* path = std::getenv("PATH")) {
    std::string all = path;
    std::size_t start = 0;
    while (start <= all.size()) {
      std::size_t colon = all.find(':', start);
      if (colon == std::string::npos) colon = all.size();
      if (colon > start) dirs.push_back(all.substr(start, colon - start));
      start = colon + 1;
    }
  }
  for (const char* d : {"/usr/local/sbin", "/usr/sbin", "/sbin"}) dirs.emplace_back(d);
  for (const auto& dir : dirs) {
    std::string candidate = dir + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

std::string MissingRealPeers() {
  std::string missing;
  for (const char* program : {"nginx", "tinyproxy"}) {
    if (FindProgram(program).empty()) {
      if (!missing.empty()) missing += " and ";
      missing += program;
    }
  }
  if (missing.empty()) return {};
  return missing + " not installed (scripts/install-deps installs it)";
}

uint16_t FreeLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    close(fd);
    throw std::runtime_error("no free loopback port");
  }
  close(fd);
  return ntohs(addr.sin_port);
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::string& outputFile) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0600);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + program);
}

ChildProcess::~ChildProcess() {
  if (reaped_) return;
  kill(pid_, SIGTERM);
  const auto end = std::chrono::steady_clock::now() + kStopDeadline;
  while (std::chrono::steady_clock::now() < end) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
}

bool ChildProcess::Running() {
  if (reaped_) return false;
  if (waitpid(pid_, nullptr, WNOHANG) == pid_) reaped_ = true;
  return !reaped_;
}

NginxPeer::NginxPeer() {
  const std::string program = FindProgram("nginx");
  if (program.empty()) throw std::runtime_error("nginx is not installed");
  const std::string& d = dir_.Path();
  std::filesystem::create_directories(d + "root/maps");
  std::filesystem::create_directories(d + "temp");

  for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
    port_ = FreeLoopbackPort();
    // One process without workers: nothing changes user, so the files of the
    // throwaway folder stay readable whoever runs the tests. Every path the
    // build would default to under /var is moved into the folder.
    WriteFileBytes(d + "nginx.conf",
                   "master_process off;\n"
                   "worker_processes 1;\n"
                   "error_log \"" + d + "error.log\" info;\n"
                   "events { worker_connections 64; }\n"
                   "http {\n"
                   "  access_log \"" + d + "access.log\";\n"
                   "  client_body_temp_path \"" + d + "temp/body\";\n"
                   "  proxy_temp_path \"" + d + "temp/proxy\";\n"
                   "  fastcgi_temp_path \"" + d + "temp/fastcgi\";\n"
                   "  uwsgi_temp_path \"" + d + "temp/uwsgi\";\n"
                   "  scgi_temp_path \"" + d + "temp/scgi\";\n"
                   "  default_type image/jpeg;\n"
                   "  server {\n"
                   "    listen 127.0.0.1:" + Decimal(port_) + ";\n"
                   "    server_name _;\n"
                   "    root \"" + d + "root\";\n"
                   "    location /maps/ { try_files $uri =404; }\n"
                   "  }\n"
                   "}\n");
    process_ = std::make_unique<ChildProcess>(
        program,
        std::vector<std::string>{"-p", d, "-c", d + "nginx.conf", "-e", d + "error.log", "-g",
                                 "daemon off; pid " + d + "nginx.pid;"},
        d + "nginx.out");
    if (WaitAccepting(*process_, port_)) return;
    process_.reset();
  }
  throw std::runtime_error("nginx did not start:\n" + ReadIfThere(d + "nginx.out") + ErrorLog());
}

NginxPeer::~NginxPeer() = default;

std::string NginxPeer::HostPort() const { return "127.0.0.1:" + Decimal(port_); }

void NginxPeer::AddTile(const std::string& name, const std::string& bytes) const {
  WriteFileBytes(TileFolder() + name, bytes);
}

std::string NginxPeer::AccessLog() const { return ReadIfThere(dir_.Path() + "access.log"); }

std::string NginxPeer::ErrorLog() const { return ReadIfThere(dir_.Path() + "error.log"); }

TinyproxyPeer::TinyproxyPeer(TinyproxyOptions options) {
  const std::string program = FindProgram("tinyproxy");
  if (program.empty()) throw std::runtime_error("tinyproxy is not installed");
  const std::string& d = dir_.Path();

  for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
    port_ = FreeLoopbackPort();
    std::string conf = "Port " + Decimal(port_) + "\n" +
                       "Listen 127.0.0.1\n"
                       "Timeout 30\n"
                       "LogFile \"" + d + "tinyproxy.log\"\n"
                       "LogLevel Info\n"
                       "PidFile \"" + d + "tinyproxy.pid\"\n"
                       "MaxClients 16\n"
                       "Allow 127.0.0.1\n";
    if (!options.Username.empty()) conf += "BasicAuth " + options.Username + " " + options.Password + "\n";
    if (!options.UpstreamSite.empty()) {
      conf += "Upstream http " + options.UpstreamHostPort + " \"" + options.UpstreamSite + "\"\n";
    }
    WriteFileBytes(d + "tinyproxy.conf", conf);
    process_ = std::make_unique<ChildProcess>(program, std::vector<std::string>{"-d", "-c", d + "tinyproxy.conf"},
                                              d + "tinyproxy.out");
    if (WaitAccepting(*process_, port_)) return;
    process_.reset();
  }
  throw std::runtime_error("tinyproxy did not start:\n" + ReadIfThere(d + "tinyproxy.out") + Log());
}

TinyproxyPeer::~TinyproxyPeer() = default;

std::string TinyproxyPeer::Log() const { return ReadIfThere(dir_.Path() + "tinyproxy.log"); }

}  // namespace testsupport
