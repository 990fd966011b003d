// One table of ini files and questions, answered by the private-profile reader of the platform
// the test runs on: on Windows the system's own, elsewhere ours. Both must give the same
// answers.
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct ProfileCase {
  const char* name;
  std::string contents;
  const char* section;
  const char* key;
  std::string expected;
  std::uint32_t size = 80;
  const char* default_value = nullptr;
};

const std::string long_value(100, 'v');

const ProfileCase cases[] = {
    {"plain", "[APPC]\nPORT=5000\n", "APPC", "PORT", "5000"},
    {"section case", "[appc]\nPORT=1\n", "APPC", "PORT", "1"},
    {"key case", "[APPC]\nport=2\n", "APPC", "PORT", "2"},
    {"query case", "[Appc]\nPort=3\n", "aPPc", "pORT", "3"},
    {"blanks around section", "[  APPC \t]\nPORT=4\n", "APPC", "PORT", "4"},
    {"blanks before section line", "  \t[APPC]\nPORT=5\n", "APPC", "PORT", "5"},
    {"text after section", "[APPC] ; the main one\nPORT=6\n", "APPC", "PORT", "6"},
    {"inner blank in section", "[MY APPC]\nPORT=7\n", "MY APPC", "PORT", "7"},
    {"inner blank in section kept", "[MY APPC]\nPORT=7\n", "MYAPPC", "PORT", ""},
    {"blanks around key", "[APPC]\n \t PORT \t =8\n", "APPC", "PORT", "8"},
    {"inner blank in key", "[APPC]\nLOCAL LU=LU1\n", "APPC", "LOCAL LU", "LU1"},
    {"blanks around value", "[APPC]\nLOCAL_LU= \t LU1 \t \n", "APPC", "LOCAL_LU", "LU1"},
    {"inner blanks in value", "[APPC]\nMESSAGE=  HOLA  MUNDO  \n", "APPC", "MESSAGE",
     "HOLA  MUNDO"},
    {"equals sign in value", "[APPC]\nMESSAGE=a=b=c\n", "APPC", "MESSAGE", "a=b=c"},
    {"double quotes", "[APPC]\nLU=\"LU1\"\n", "APPC", "LU", "LU1"},
    {"single quotes", "[APPC]\nLU='LU1'\n", "APPC", "LU", "LU1"},
    {"blanks inside quotes", "[APPC]\nLU=\"  LU1 \"\n", "APPC", "LU", "  LU1 "},
    {"blanks outside quotes", "[APPC]\nLU=  \"LU1\"  \n", "APPC", "LU", "LU1"},
    {"one pair only", "[APPC]\nLU=\"\"LU1\"\"\n", "APPC", "LU", "\"LU1\""},
    {"inner quote", "[APPC]\nLU=\"a\"b\"\n", "APPC", "LU", "a\"b"},
    {"mixed quotes", "[APPC]\nLU=\"LU1'\n", "APPC", "LU", "\"LU1'"},
    {"opening quote only", "[APPC]\nLU=\"LU1\n", "APPC", "LU", "\"LU1"},
    {"closing quote only", "[APPC]\nLU=LU1\"\n", "APPC", "LU", "LU1\""},
    {"lone quote", "[APPC]\nLU=\"\n", "APPC", "LU", "\""},
    {"empty quotes", "[APPC]\nLU=\"\"\n", "APPC", "LU", ""},
    {"no inline comment", "[APPC]\nPORT=9 ; nine\n", "APPC", "PORT", "9 ; nine"},
    {"hash is text", "[APPC]\nPORT=10 # ten\n", "APPC", "PORT", "10 # ten"},
    {"comment line", "[APPC]\n;PORT=11\nPORT=12\n", "APPC", "PORT", "12"},
    {"comment line is a key", "[APPC]\n;PORT=11\n", "APPC", ";PORT", "11"},
    {"CRLF", "[APPC]\r\nPORT=13\r\nLU=LU1\r\n", "APPC", "PORT", "13"},
    {"CRLF at the end", "[APPC]\r\nLU=LU1\r\n", "APPC", "LU", "LU1"},
    {"no final line end", "[APPC]\nLU=LU1", "APPC", "LU", "LU1"},
    {"byte-order mark", "\xEF\xBB\xBF[APPC]\nPORT=14\n", "APPC", "PORT", "14"},
    {"empty value", "[APPC]\nPORT=\n", "APPC", "PORT", ""},
    {"blank value", "[APPC]\nPORT=  \t \n", "APPC", "PORT", ""},
    {"key without equals", "[APPC]\nPORT\n", "APPC", "PORT", ""},
    {"missing key", "[APPC]\nPORT=1\n", "APPC", "EBCDIC", ""},
    {"missing section", "[OTHER]\nPORT=1\n", "APPC", "PORT", ""},
    {"key of another section", "[OTHER]\nPORT=1\n[APPC]\nLU=LU1\n", "APPC", "PORT", ""},
    {"key before any section", "PORT=1\n[APPC]\nLU=LU1\n", "APPC", "PORT", ""},
    {"second section", "[OTHER]\nPORT=1\n[APPC]\nPORT=2\n", "APPC", "PORT", "2"},
    {"first key wins", "[APPC]\nPORT=1\nPORT=2\n", "APPC", "PORT", "1"},
    {"first section wins", "[APPC]\nPORT=1\n[OTHER]\n[APPC]\nPORT=2\n", "APPC", "PORT", "1"},
    {"repeated section not merged", "[APPC]\nPORT=1\n[APPC]\nLU=LU1\n", "APPC", "LU", ""},
    {"empty lines", "\n\n[APPC]\n\n\nPORT=15\n\n", "APPC", "PORT", "15"},
    {"cut to size - 1", "[APPC]\nMESSAGE=" + long_value + "\n", "APPC", "MESSAGE",
     long_value.substr(0, 79)},
    {"long value whole", "[APPC]\nMESSAGE=" + long_value + "\n", "APPC", "MESSAGE", long_value,
     5000},
    {"cut at 4", "[APPC]\nLU=LU123456\n", "APPC", "LU", "LU1", 4},
    {"size 1", "[APPC]\nLU=LU1\n", "APPC", "LU", "", 1},
    {"quotes then cut", "[APPC]\nLU=\"LU123\"\n", "APPC", "LU", "LU1", 4},
    {"CR alone ends a line", "[APPC]\rPORT=16\rLU=LU1\r", "APPC", "LU", "LU1"},
    {"control blanks", "[\x1A" "APPC\x1A]\n\v\fPORT=\x1A 17\t\v\f\n", "APPC", "PORT", "17"},
    {"query names trimmed", "[APPC]\nPORT=18\n", " APPC\t", " PORT ", "18"},
    {"last bracket ends section name", "[APPC]]\nPORT=19\n", "APPC]", "PORT", "19"},
    {"last bracket, short name", "[APPC]]\nPORT=19\n", "APPC", "PORT", ""},
    {"bracket without close is a key", "[APPC]\n[x=1\nPORT=20\n", "APPC", "[x", "1"},
    {"section goes on after it", "[APPC]\n[x=1\nPORT=20\n", "APPC", "PORT", "20"},
    {"keys before any section", "PORT=21\n[APPC]\n", "", "PORT", "21"},
    {"quoted key stays quoted", "[APPC]\n\"LU\"=LU1\n", "APPC", "LU", ""},
    {"zero byte ends value", std::string("[APPC]\nLU=A\0B\nPORT=1\n", 21), "APPC", "LU", "A"},
    {"zero byte ends key", std::string("[APPC]\nPO\0RT=3\nPORT=4\n", 22), "APPC", "PORT", "4"},
    {"zero byte ends section", std::string("[AP\0PC]\nPORT=3\n", 15), "AP", "PORT", "3"},
    {"letter case of ASCII only", "[APPC]\n\xD1=2\n", "APPC", "\xF1", ""},
    {"bytes without a mark", "[APPC]\nMESSAGE=A\xC3\xB1o\xF1\n", "APPC", "MESSAGE",
     "A\xC3\xB1o\xF1"},
    {"UTF-8 to code page 1252",
     "\xEF\xBB\xBF[APPC]\nMESSAGE=A\xC3\xB1o \xE2\x82\xAC\xE2\x80\x99\xC5\x92\xC2\x81\n",
     "APPC", "MESSAGE", "A\xF1o \x80\x92\x8C\x81"},
    {"UTF-8 outside code page 1252", "\xEF\xBB\xBF[APPC]\nMESSAGE=<\xE3\x81\x82\xC2\x80>\n",
     "APPC", "MESSAGE", "<?" "?>"},
    {"UTF-8 beyond U+FFFF", "\xEF\xBB\xBF[APPC]\nMESSAGE=<\xF0\x9F\x98\x80>\n", "APPC",
     "MESSAGE", "<?" "?>"},
    {"ill-formed UTF-8", "\xEF\xBB\xBF[APPC]\nMESSAGE=<\xC3x\x80\xC0\xAF>\n", "APPC", "MESSAGE",
     "<?x?" "?" "?>"},
    {"UTF-16 little-endian", std::string("\xFF\xFE[\0A\0]\0\n\0K\0=\0\xAC\x20V\0\n\0", 20), "A",
     "K", "\x80V"},
    {"UTF-16 big-endian", std::string("\xFE\xFF\0[\0A\0]\0\n\0K\0=\0V\0\n", 18), "A", "K", "V"},
    {"default when absent", "[APPC]\nPORT=1\n", "APPC", "LU", "DFLT", 80, "DFLT"},
    {"default when section absent", "[OTHER]\n", "APPC", "LU", "DFLT", 80, "DFLT"},
    {"value over default", "[APPC]\nLU=LU1\n", "APPC", "LU", "LU1", 80, "DFLT"},
    {"empty value over default", "[APPC]\nLU=\n", "APPC", "LU", "", 80, "DFLT"},
    {"empty quotes over default", "[APPC]\nLU=''\n", "APPC", "LU", "", 80, "DFLT"},
    {"default trailing blanks dropped", "[APPC]\n", "APPC", "LU", "DF", 80, "DF  "},
    {"default leading blanks kept", "[APPC]\n", "APPC", "LU", "  DF", 80, "  DF"},
    {"default unquoted", "[APPC]\n", "APPC", "LU", "DF", 80, "\"DF\""},
};

TEST(ProfileGetString, ReadsIniFilesAsTheWindowsReaderDoes) {
  int index = 0;
  for (const ProfileCase& c : cases) {
    // A file per case: a reader may keep recently read files and go by their time stamps.
    const std::filesystem::path path =
        std::filesystem::absolute("profile_case_" + std::to_string(index++) + ".ini");
    if (std::FILE* file = std::fopen(path.string().c_str(), "wb")) {
      std::fwrite(c.contents.data(), 1, c.contents.size(), file);
      std::fclose(file);
    } else {
      FAIL() << "cannot write " << path.string();
    }
    std::vector<char> buffer(c.size + 1, '#');
    const std::uint32_t count =
        profile_get_string(c.section, c.key, c.default_value, buffer.data(), c.size,
                           path.string().c_str());
    EXPECT_EQ(std::string(buffer.data()), c.expected) << c.name;
    EXPECT_EQ(count, c.expected.size()) << c.name;
    EXPECT_EQ(buffer[c.size], '#') << c.name << ": written beyond the buffer";
    std::filesystem::remove(path);
  }
}

TEST(ProfileGetString, MissingFileOrDirectoryGivesNothing) {
  const std::string missing = std::filesystem::absolute("no_such_profile.ini").string();
  const std::string directory = std::filesystem::current_path().string();
  for (const std::string& path : {missing, directory}) {
    char buffer[80] = "unchanged";
    EXPECT_EQ(profile_get_string("APPC", "PORT", nullptr, buffer, sizeof buffer, path.c_str()),
              0u)
        << path;
    EXPECT_STREQ(buffer, "") << path;
  }
}

}  // namespace
