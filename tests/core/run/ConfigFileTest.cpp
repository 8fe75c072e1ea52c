// The settings file's keys, defaults and the Options write.
#include "core/run/ConfigFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "core/platform/Files.h"
#include "core/platform/Version.h"
#include "tests/support/TempDir.h"

namespace run {
namespace {

using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

TEST(ConfigFile, MissingFileGivesEveryDefault) {
  TempDir dir;
  const ConfigFile config(dir.File("none.ini"));
  const ProxySettings proxy = config.ReadProxy();
  EXPECT_FALSE(proxy.UseProxy);
  EXPECT_EQ(proxy.ProxyServer + proxy.ProxyPort + proxy.ProxyUsername + proxy.ProxyPassword, "");
  const MainWindowSettings window = config.ReadMainWindow();
  EXPECT_EQ(window.DefaultPath, platform::BuiltInFolder("brenholt"));
  EXPECT_EQ(window.DefaultOutputName, "bigmap.bmp");
  EXPECT_EQ(window.DefaultThreadCount, 1);
  EXPECT_EQ(window.Version, platform::Version());
  EXPECT_EQ(config.ReadOptions().DefaultPath, platform::BuiltInFolder("downloads"));
  EXPECT_FALSE(platform::FileExists(dir.File("none.ini")));
}

TEST(ConfigFile, ReadsTheProxySectionByItsRules) {
  TempDir dir;
  WriteFileBytes(dir.File("config.ini"),
                 "[IniParas]\r\nProxyServer=wrong\r\n[proxy]\r\nuseproxy=1\r\nProxyServer= proxy.local \r\n"
                 "ProxyPort=3128\r\nProxyUsername=walker\r\nProxyPassword=\"p=w d\"\r\n");
  const ProxySettings proxy = ConfigFile(dir.File("config.ini")).ReadProxy();
  EXPECT_TRUE(proxy.UseProxy);
  EXPECT_EQ(proxy.ProxyServer, "proxy.local");
  EXPECT_EQ(proxy.ProxyPort, "3128");
  EXPECT_EQ(proxy.ProxyUsername, "walker");
  EXPECT_EQ(proxy.ProxyPassword, "p=w d");

  const struct {
    const char* value;
    bool use;
  } cases[] = {{"1", true}, {"0x1", true}, {" 1 ", true}, {"0", false}, {"2", false},
               {"-1", false}, {"yes", false}, {"", false}, {"1.0", false}};
  for (const auto& c : cases) {
    WriteFileBytes(dir.File("config.ini"), std::string("[Proxy]\r\nUseProxy=") + c.value + "\r\n");
    EXPECT_EQ(ConfigFile(dir.File("config.ini")).ReadProxy().UseProxy, c.use) << "'" << c.value << "'";
  }
}

// The six values go in one rewrite: other lines stay byte for byte, existing
// keys change where they stand, missing ones follow in the dialog's order.
TEST(ConfigFile, OptionsAreWrittenInOneGo) {
  TempDir dir;
  const std::string path = dir.File("config.ini");
  WriteFileBytes(path, "; mine\r\n[Proxy]\r\nProxyPort=1\r\n\r\n[IniParas]\r\nVersion=7\r\n");
  ConfigFile config(path);
  config.WriteOptions({"/srv/maps", {true, "10.0.0.7", "80a", "walker", "p:w"}});
  EXPECT_EQ(ReadFileBytes(path),
            "; mine\r\n[Proxy]\r\nProxyPort=80a\r\nUseProxy=1\r\nProxyServer=10.0.0.7\r\nProxyUsername=walker\r\n"
            "ProxyPassword=p:w\r\n\r\n[IniParas]\r\nVersion=7\r\nDefaultPath=/srv/maps\r\n");
  EXPECT_EQ(config.ReadOptions().Proxy.ProxyPassword, "p:w");
}

// The API's section: read with its limits, written whole, its key handed
// only to a re-download of the API's own addresses.
TEST(ConfigFile, NearmapApiSectionIsReadWrittenAndItsKeyGivenOnlyToItsAddresses) {
  TempDir dir;
  const std::string path = dir.File("config.ini");
  WriteFileBytes(path, "[nearmapapi]\r\nbaseurl=http://gw.local/nm/\r\nSecret=K3Y\r\nDirection=West\r\n"
                       "PauseMs=-5\r\nMaxWorkers=9\r\n");
  ConfigFile config(path);
  NearmapApiSettings api = config.ReadNearmapApi();
  EXPECT_EQ(api.Account, (task::NearmapAccount{"http://gw.local/nm/", 0, 4})) << "out of range: the defaults";
  EXPECT_EQ(api.Direction, "West");
  EXPECT_EQ(api.Secret, "K3Y");

  ftl::FailedListOptions options;
  config.AddCredentials(options);
  // The headers the download sent: the program's User-Agent and the key.
  EXPECT_EQ(options.HeadersFor("http://gw.local/nm/tiles/v3/Vert/1/0/0.jpg"),
            (std::vector<std::string>{std::string("User-Agent: ") + task::kDefaultUserAgent,
                                      "Authorization: Apikey K3Y"}));
  for (const char* other : {"http://gw.local/nmx/tiles/v3/Vert/1/0/0.jpg", "http://www.nearmap.com/maps/hl=en&x=1",
                            "http://elsewhere/?u=http://gw.local/nm/"}) {
    EXPECT_TRUE(options.HeadersFor(other).empty()) << other;
  }

  api.Account = {"https://api.nearmap.com", 100, 2};
  api.Direction = "North";
  config.WriteNearmapApi(api);
  EXPECT_EQ(config.ReadNearmapApi(), api);
  api.Direction = "Up";
  EXPECT_THROW(config.WriteNearmapApi(api), std::invalid_argument);
  api.Direction = "Vert";
  api.Account.BaseUrl = "api.nearmap.com";
  EXPECT_THROW(config.WriteNearmapApi(api), std::invalid_argument);
  EXPECT_EQ(config.ReadNearmapApi().Direction, "North") << "a refused write leaves the file";
}

// Installed, the settings go to the user's configuration folder, made on
// first use: owner-only, holding the defaults the readers would take anyway,
// and never touched again. Beside the program nothing is made.
TEST(ConfigFile, UsersSettingsFileIsMadeOnFirstUseOwnerOnlyWithTheDefaults) {
  TempDir dir;
  const testsupport::ScopedEnvironment xdg("XDG_CONFIG_HOME", dir.File("config").c_str());
  const testsupport::ScopedUmask umask(022);
  std::filesystem::create_directories(dir.File("usr/share/orvenna/blankimg"));
  const std::string installed = dir.File("usr/share/orvenna/");
  const std::string path = dir.File("config/orvenna/config.ini");
  ASSERT_EQ(ConfigFile::PathFor(installed), path);
  const ConfigFile missing(dir.File("none.ini"));

  ASSERT_TRUE(ConfigFile::MakeOnFirstUse(installed));
  EXPECT_EQ(ReadFileBytes(path),
            "[IniParas]\r\nDefaultOutputName=bigmap.bmp\r\nDefaultThreadCount=1\r\n"
            "[Proxy]\r\nUseProxy=0\r\nProxyServer=\r\nProxyPort=\r\nProxyUsername=\r\nProxyPassword=\r\n"
            "[NearmapApi]\r\nBaseUrl=https://api.nearmap.com\r\nSecret=\r\nDirection=Vert\r\nPauseMs=0\r\n"
            "MaxWorkers=4\r\n");
  EXPECT_EQ(testsupport::ModeOf(path) & 0777, 0600u);
  EXPECT_EQ(testsupport::ModeOf(dir.File("config/orvenna")) & 0777, 0700u);
  EXPECT_EQ(testsupport::Entries(dir.File("config/orvenna")), std::set<std::string>{"config.ini"});
  // What a reader sees is what it sees without the file: both DefaultPath
  // defaults stay in force.
  ConfigFile config(path);
  EXPECT_EQ(config.ReadMainWindow().DefaultPath, missing.ReadMainWindow().DefaultPath);
  EXPECT_EQ(config.ReadMainWindow().Version, platform::Version());
  EXPECT_EQ(config.ReadMainWindow().DefaultOutputName, missing.ReadMainWindow().DefaultOutputName);
  EXPECT_EQ(config.ReadOptions().DefaultPath, missing.ReadOptions().DefaultPath);
  EXPECT_EQ(config.ReadProxy().UseProxy, missing.ReadProxy().UseProxy);
  EXPECT_EQ(config.ReadNearmapApi(), missing.ReadNearmapApi());

  // The user's values stay, and the file stays the owner's through writes.
  config.WriteOptions({"/srv/maps", {true, "proxy", "3128", "me", "secret"}});
  const std::string written = ReadFileBytes(path);
  EXPECT_TRUE(ConfigFile::MakeOnFirstUse(installed));
  EXPECT_EQ(ReadFileBytes(path), written);
  EXPECT_EQ(testsupport::ModeOf(path) & 0777, 0600u);

  // A program folder with a writable ini/ keeps its settings there, and no
  // file is made for it.
  std::filesystem::create_directories(dir.File("build/ini"));
  EXPECT_EQ(ConfigFile::PathFor(dir.File("build/")), dir.File("build/ini/config.ini"));
  EXPECT_TRUE(ConfigFile::MakeOnFirstUse(dir.File("build/")));
  EXPECT_TRUE(testsupport::Entries(dir.File("build/ini")).empty());

  // A configuration folder that cannot be made: no file, and no error.
  WriteFileBytes(dir.File("blocked"), "");
  const testsupport::ScopedEnvironment blocked("XDG_CONFIG_HOME", dir.File("blocked").c_str());
  EXPECT_FALSE(ConfigFile::MakeOnFirstUse(installed));
}

}  // namespace
}  // namespace run
