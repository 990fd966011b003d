#include "appc/config.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "appc/log.h"

namespace {

std::string read_text(const std::string& path) {
  std::string text;
  if (std::FILE* file = std::fopen(path.c_str(), "r")) {
    int c;
    while ((c = std::fgetc(file)) != EOF) text += static_cast<char>(c);
    std::fclose(file);
  }
  return text;
}

// An ini file of the test's own (absolute path: the Windows reader looks for relative names
// in the Windows directory).
class IniFile : public ::testing::Test {
 protected:
  void SetUp() override {
    stem_ = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    path_ = std::filesystem::absolute(stem_ + ".ini").string();
  }
  void TearDown() override {
    for (const std::string& p : {path_, out_path(), log_path()}) std::remove(p.c_str());
  }
  void write(const std::string& contents) {
    // A new name per version: a reader may keep recently read files and go by time stamps.
    if (++version_ > 1) {
      std::remove(path_.c_str());
      path_ = std::filesystem::absolute(stem_ + "_" + std::to_string(version_) + ".ini").string();
    }
    std::FILE* file = std::fopen(path_.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(contents.data(), 1, contents.size(), file);
    std::fclose(file);
  }
  const char* path() const { return path_.c_str(); }
  std::string out_path() const { return stem_ + ".stdout"; }
  std::string log_path() const { return stem_ + ".log"; }

  // Inside a death test: standard output and the log stream go to files of their own, which
  // the test reads once the child has ended.
  void capture_outputs() const {
    std::freopen(out_path().c_str(), "w", stdout);
    log_attach(std::fopen(log_path().c_str(), "w"));
  }

 private:
  std::string stem_, path_;
  int version_ = 0;
};

TEST_F(IniFile, IntFollowsAtoiRules) {
  struct Case {
    const char* value;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"12abc", 12},       {"abc", 0},           {"-7", -7},
      {"+5", 5},           {"\" \t 42\"", 42},   {"0x10", 0},
      {"12 34", 12},       {"- 5", 0},           {"007", 7},
      {"2147483647", 2147483647},                {"-2147483648", INT32_MIN},
      {"99999999999", INT32_MAX},                {"-99999999999", INT32_MIN},
  };
  std::string contents = "[APPC]\n";
  for (std::size_t i = 0; i < std::size(cases); ++i)
    contents += "K" + std::to_string(i) + "=" + cases[i].value + "\n";
  write(contents);
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(ini_get_int(path(), "APPC", ("K" + std::to_string(i)).c_str()), cases[i].expected)
        << cases[i].value;
}

TEST_F(IniFile, StringsAreCutToTheirBuffers) {
  struct Case {
    std::size_t length;
    bool data;
    std::size_t expected;
  };
  const Case cases[] = {
      {1, false, 1},      {79, false, 79},     {80, false, 79},     {100, false, 79},
      {100, true, 100},   {4999, true, 4999},  {5000, true, 4999},  {6000, true, 4999},
  };
  for (const Case& c : cases) {
    std::string value;
    for (std::size_t i = 0; i < c.length; ++i) value += static_cast<char>('a' + i % 26);
    write("[APPC]\nMESSAGE=" + value + "\n");
    char* copy = c.data ? ini_get_data(path(), "APPC", "MESSAGE")
                        : ini_get_string(path(), "APPC", "MESSAGE");
    EXPECT_EQ(std::string(copy), value.substr(0, c.expected)) << c.length;
    std::free(copy);
  }
}

TEST_F(IniFile, ValuesAsTheProfileReaderGivesThem) {
  write("[netgate]\nlocal_lu =  LU1  \nMODE_NAME=\"#INTER\"\n");
  char* lu = ini_get_string(path(), "NETGATE", "LOCAL_LU");
  char* mode = ini_get_string(path(), "netgate", "MODE_NAME");
  EXPECT_STREQ(lu, "LU1");
  EXPECT_STREQ(mode, "#INTER");
  std::free(lu);
  std::free(mode);
}

using IniFileDeathTest = IniFile;

TEST_F(IniFileDeathTest, MissingOrEmptyKeyEndsWithCode2AndMessageOnStandardOutput) {
  struct Case {
    const char* name;
    std::string contents;
    const char* section;
    const char* key;
    bool data;
    const char* message;  // format with the key, the section and the file
  };
  const Case cases[] = {
      {"empty value", "[APPC]\nPORT=\n", "APPC", "PORT", false, "Key %s not found"},
      {"blank value", "[APPC]\nPORT=  \n", "APPC", "PORT", false, "Key %s not found"},
      {"missing key", "[APPC]\nLU=LU1\n", "APPC", "PORT", false, "Key %s not found"},
      {"missing section", "[OTHER]\nPORT=1\n", "APPC", "PORT", false, "Key %s not found"},
      {"empty data", "[APPC]\nMESSAGE=\n", "APPC", "MESSAGE", true, "Data %s not found"},
      {"missing data", "[APPC]\n", "PROBE", "MESSAGE", true, "Data %s not found"},
  };
  for (const Case& c : cases) {
    write(c.contents);
    EXPECT_EXIT(
        {
          capture_outputs();
          if (c.data) {
            ini_get_data(path(), c.section, c.key);
          } else {
            ini_get_int(path(), c.section, c.key);
            ini_get_string(path(), c.section, c.key);
          }
          std::exit(0);
        },
        ::testing::ExitedWithCode(2), "")
        << c.name;
    char expected[512];
    std::snprintf(expected, sizeof expected,
                  (std::string(c.message) + " in section [%s] in file %s\n").c_str(), c.key,
                  c.section, path());
    EXPECT_EQ(read_text(out_path()), expected) << c.name;
    EXPECT_EQ(read_text(log_path()), "") << c.name << ": nothing goes to the log";
  }
}

TEST_F(IniFileDeathTest, MissingFileEndsWithCode2) {
  const std::string missing = std::filesystem::absolute("no_such_file.ini").string();
  EXPECT_EXIT(
      {
        capture_outputs();
        ini_get_string(missing.c_str(), "APPC", "LOCAL_LU");
      },
      ::testing::ExitedWithCode(2), "");
  EXPECT_EQ(read_text(out_path()),
            "Key LOCAL_LU not found in section [APPC] in file " + missing + "\n");
}

}  // namespace
