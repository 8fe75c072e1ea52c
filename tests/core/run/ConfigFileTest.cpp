// The settings file's keys, defaults and the Options write.
#include "core/run/ConfigFile.h"

#include <gtest/gtest.h>

#include <string>

#include "core/platform/Files.h"
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
  EXPECT_EQ(window.Version, "6.31");
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

}  // namespace
}  // namespace run
