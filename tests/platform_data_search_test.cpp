// Where the show looks for its data, and which place wins.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/system.h"

namespace {

namespace fs = std::filesystem;

// Sets (or, for null, removes) environment variables for one scope.
class ScopedEnv {
 public:
  explicit ScopedEnv(const std::map<std::string, const char*>& values) {
    for (const auto& [name, value] : values) {
      const char* old = std::getenv(name.c_str());
      saved_.push_back({name, old != nullptr, old ? old : ""});
      if (value)
        setenv(name.c_str(), value, 1);
      else
        unsetenv(name.c_str());
    }
  }
  ~ScopedEnv() {
    for (const Saved& s : saved_) {
      if (s.had)
        setenv(s.name.c_str(), s.value.c_str(), 1);
      else
        unsetenv(s.name.c_str());
    }
  }

 private:
  struct Saved {
    std::string name;
    bool had;
    std::string value;
  };
  std::vector<Saved> saved_;
};

std::vector<std::string> Dirs(const std::vector<PlatformDataPlace>& places) {
  std::vector<std::string> dirs;
  for (const PlatformDataPlace& p : places) dirs.push_back(p.dir);
  return dirs;
}

TEST(PlatformDataSearch, PlacesInOrder) {
  struct Case {
    const char* name;
    const char* dataHome;
    const char* dataDirs;
    std::vector<std::string> want;
  } cases[] = {
      {"defaults", nullptr, nullptr,
       {"/opt/kv/bin", "/opt/kv/share/kestrivane", "/home/u/.local/share/kestrivane",
        "/usr/local/share/kestrivane", "/usr/share/kestrivane"}},
      {"empty values are unset", "", "",
       {"/opt/kv/bin", "/opt/kv/share/kestrivane", "/home/u/.local/share/kestrivane",
        "/usr/local/share/kestrivane", "/usr/share/kestrivane"}},
      {"set", "/x/home", "/a:/b/c/",
       {"/opt/kv/bin", "/opt/kv/share/kestrivane", "/x/home/kestrivane", "/a/kestrivane",
        "/b/c/kestrivane"}},
      {"relative entries ignored", "rel/home", "rel:/a::x",
       {"/opt/kv/bin", "/opt/kv/share/kestrivane", "/home/u/.local/share/kestrivane",
        "/a/kestrivane"}},
      {"a place named twice is listed once", "/opt/kv/share", "/opt/kv/share:/usr/share",
       {"/opt/kv/bin", "/opt/kv/share/kestrivane", "/usr/share/kestrivane"}},
  };
  for (const Case& c : cases) {
    ScopedEnv env({{"HOME", "/home/u"}, {"XDG_DATA_HOME", c.dataHome},
                   {"XDG_DATA_DIRS", c.dataDirs}});
    EXPECT_EQ(Dirs(PlatformDataSearchPath("/opt/kv/bin")), c.want) << c.name;
  }
  // Without HOME and XDG_DATA_HOME there is no per-user place.
  ScopedEnv env({{"HOME", nullptr}, {"XDG_DATA_HOME", nullptr}, {"XDG_DATA_DIRS", "/a"}});
  EXPECT_EQ(Dirs(PlatformDataSearchPath("/p/bin")),
            (std::vector<std::string>{"/p/bin", "/p/share/kestrivane", "/a/kestrivane"}));
}

// A tree with every place of the search path; markers in some of them.
class DataChoice : public testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("kv_data_search_" + std::to_string(getpid()));
    fs::remove_all(root_);
    for (const char* d : {"prefix/bin", "prefix/share/kestrivane", "home/kestrivane",
                          "dirs1/kestrivane", "dirs2/kestrivane", "given"})
      fs::create_directories(root_ / d);
  }
  void TearDown() override {
    PlatformSetDataDir("");
    fs::remove_all(root_);
  }
  void Mark(const std::string& dir) { std::ofstream(root_ / dir / kPlatformDataMarker) << "x"; }
  std::string At(const std::string& dir) { return (root_ / dir).string(); }

  fs::path root_;
};

TEST_F(DataChoice, FirstPlaceHoldingTheDataWins) {
  struct Case {
    std::vector<std::string> marked;
    std::string winner;
  } cases[] = {
      {{"prefix/bin", "prefix/share/kestrivane", "home/kestrivane"}, "prefix/bin"},
      {{"prefix/share/kestrivane", "home/kestrivane"}, "prefix/share/kestrivane"},
      {{"home/kestrivane", "dirs1/kestrivane"}, "home/kestrivane"},
      {{"dirs2/kestrivane", "dirs1/kestrivane"}, "dirs1/kestrivane"},
      {{"dirs2/kestrivane"}, "dirs2/kestrivane"},
  };
  ScopedEnv env({{"XDG_DATA_HOME", At("home").c_str()},
                 {"XDG_DATA_DIRS", (At("dirs1") + ":" + At("dirs2")).c_str()}});
  for (const Case& c : cases) {
    for (const auto& entry : fs::recursive_directory_iterator(root_))
      if (entry.path().filename() == kPlatformDataMarker) fs::remove(entry.path());
    for (const std::string& d : c.marked) Mark(d);
    std::string message = "untouched";
    ASSERT_EQ(PlatformChooseDataDir("", At("prefix/bin"), &message), 1) << c.winner;
    EXPECT_EQ(PlatformDataDir(), At(c.winner));
    EXPECT_EQ(message, "untouched");
  }
}

TEST_F(DataChoice, NoDataNamesEveryPlaceLookedIn) {
  // A directory with data files but without the marker is not a data set.
  fs::create_directories(root_ / "prefix/bin/gfx");
  ScopedEnv env({{"XDG_DATA_HOME", At("home").c_str()}, {"XDG_DATA_DIRS", At("dirs1").c_str()}});
  std::string message;
  EXPECT_EQ(PlatformChooseDataDir("", At("prefix/bin"), &message), 0);
  size_t last = 0;
  for (const char* d : {"prefix/bin", "prefix/share/kestrivane", "home/kestrivane",
                        "dirs1/kestrivane"}) {
    size_t at = message.find(At(d) + "  (");
    ASSERT_NE(at, std::string::npos) << d << "\n" << message;
    EXPECT_GT(at, last) << d;  // in search order
    last = at;
  }
  EXPECT_NE(message.find(kPlatformDataMarker), std::string::npos);
  EXPECT_NE(message.find("/data DIR"), std::string::npos);
}

TEST_F(DataChoice, DataSwitchIsTakenAsGivenWhenItIsADirectory) {
  Mark("prefix/bin");
  std::string message;
  EXPECT_EQ(PlatformChooseDataDir(At("given"), At("prefix/bin"), &message), 1);
  EXPECT_EQ(PlatformDataDir(), At("given"));  // no marker needed
  EXPECT_EQ(PlatformChooseDataDir(At("missing"), At("prefix/bin"), &message), 0);
  EXPECT_NE(message.find(At("missing")), std::string::npos) << message;
  std::ofstream(root_ / "file") << "x";
  EXPECT_EQ(PlatformChooseDataDir(At("file"), At("prefix/bin"), &message), 0);
}

TEST(PlatformDisplay, NeedsADisplayAndARealDriver) {
  struct Case {
    const char* display;
    const char* wayland;
    const char* driver;
    int want;
  } cases[] = {
      {nullptr, nullptr, nullptr, 0}, {"", "", nullptr, 0},        {":0", nullptr, nullptr, 1},
      {nullptr, "wayland-0", nullptr, 1}, {":0", nullptr, "x11", 1}, {":0", nullptr, "offscreen", 0},
      {":0", nullptr, "dummy", 0},
  };
  for (const Case& c : cases) {
    ScopedEnv env({{"DISPLAY", c.display}, {"WAYLAND_DISPLAY", c.wayland},
                   {"SDL_VIDEODRIVER", c.driver}});
    EXPECT_EQ(PlatformHasDisplay(), c.want)
        << (c.display ? c.display : "-") << " " << (c.driver ? c.driver : "-");
    PlatformSetCaptureMode(1);
    EXPECT_EQ(PlatformHasDisplay(), 0);  // a capture never shows anything
    PlatformSetCaptureMode(0);
  }
}

}  // namespace
