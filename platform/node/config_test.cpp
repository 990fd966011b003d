#include "platform/node/config.h"

#include <cstdio>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

namespace {

const char* const base = "[NODE]\nLOCAL_LUS=LOCALLU\nPARTNER_LUS=HOSTLU\nMODES=#INTER\n";

class ConfigTest : public ::testing::Test {
 protected:
  void TearDown() override { std::remove(path_.c_str()); }
  bool load(const std::string& text, node_config& config, std::string& error) {
    std::ofstream(path_) << text;
    return node_config_load(path_.c_str(), config, error);
  }
  std::string path_ = ::testing::TempDir() + "appcnode_config_test.ini";
};

TEST_F(ConfigTest, ReadsTheNodeAndItsHostTps) {
  node_config config;
  std::string error;
  ASSERT_TRUE(load(std::string(base) +
                       "LISTEN=127.0.0.1:7000\nLOCAL_TPS= HOSTGATE , PROBEIN\n"
                       "HOST_TPS=ECHOTP,UPPERTP\nATTACH_TIMEOUT=5\nBUSY_POLL_US=0\n"
                       "[TP ECHOTP]\nKIND=echo\nDELAY_MS=250\nEND=keep\n"
                       "[TP UPPERTP]\nKIND=exec\nCOMMAND=tr a-z A-Z\nTRANSLATE=1\nTIME_LIMIT=3\n",
                   config, error))
      << error;
  EXPECT_EQ(config.listen, "127.0.0.1:7000");
  EXPECT_EQ(config.local_lus, std::vector<std::string>{"LOCALLU"});
  EXPECT_EQ(config.local_tps, (std::vector<std::string>{"HOSTGATE", "PROBEIN"}));
  EXPECT_EQ(config.attach_timeout_ms, 5000);
  EXPECT_EQ(config.busy_poll_us, 0);
  ASSERT_EQ(config.host_tps.size(), 2u);
  const host_tp_config* echo = node_config_host_tp(config, "ECHOTP");
  ASSERT_NE(echo, nullptr);
  EXPECT_EQ(echo->kind, host_tp_kind::echo);
  EXPECT_EQ(echo->delay_ms, 250);
  EXPECT_TRUE(echo->keep_open);
  const host_tp_config* upper = node_config_host_tp(config, "UPPERTP");
  ASSERT_NE(upper, nullptr);
  EXPECT_EQ(upper->kind, host_tp_kind::exec);
  EXPECT_EQ(upper->command, "tr a-z A-Z");
  EXPECT_TRUE(upper->translate);
  EXPECT_EQ(upper->time_limit_ms, 3000);
  EXPECT_FALSE(upper->keep_open);
  EXPECT_EQ(node_config_host_tp(config, "echotp"), nullptr);  // letter case counts
}

TEST_F(ConfigTest, RefusesWhatItCannotServe) {
  struct refusal_case {
    std::string text;
    const char* message;
  };
  const refusal_case cases[] = {
      {"[NODE]\nPARTNER_LUS=HOSTLU\nMODES=#INTER\n", "[NODE] LOCAL_LUS is missing"},
      {"[NODE]\nLOCAL_LUS=LOCALLU\nMODES=#INTER\n", "[NODE] PARTNER_LUS is missing"},
      {"[NODE]\nLOCAL_LUS=LOCALLU\nPARTNER_LUS=HOSTLU\n", "[NODE] MODES is missing"},
      {"[NODE]\nLOCAL_LUS=TOOLONGALIAS\nPARTNER_LUS=HOSTLU\nMODES=#INTER\n",
       "[NODE] LOCAL_LUS: \"TOOLONGALIAS\" is not a name of 1 to 8 characters"},
      {"[NODE]\nLOCAL_LUS=A,,B\nPARTNER_LUS=HOSTLU\nMODES=#INTER\n",
       "[NODE] LOCAL_LUS: \"\" is not a name of 1 to 8 characters"},
      {std::string(base) + "ATTACH_TIMEOUT=0\n",
       "[NODE] ATTACH_TIMEOUT: \"0\" is not a number from 1 to 3600"},
      {std::string(base) + "BUSY_POLL_US=10001\n",
       "[NODE] BUSY_POLL_US: \"10001\" is not a number from 0 to 10000"},
      {std::string(base) + "HOST_TPS=X\n", "[TP X] KIND: \"\" is not echo, reply or exec"},
      {std::string(base) + "HOST_TPS=X\n[TP X]\nKIND=reply\n", "[TP X] TEXT is missing"},
      {std::string(base) + "HOST_TPS=X\n[TP X]\nKIND=exec\n", "[TP X] COMMAND is missing"},
      {std::string(base) + "HOST_TPS=X\n[TP X]\nKIND=echo\nDELAY_MS=soon\n",
       "[TP X] DELAY_MS: \"soon\" is not a number from 0 to 600000"},
      {std::string(base) + "HOST_TPS=X\n[TP X]\nKIND=echo\nEND=never\n",
       "[TP X] END: \"never\" is not deallocate or keep"},
  };
  for (const refusal_case& c : cases) {
    SCOPED_TRACE(c.text);
    node_config config;
    std::string error;
    EXPECT_FALSE(load(c.text, config, error));
    EXPECT_EQ(error, c.message);
  }
  node_config config;
  std::string error;
  EXPECT_FALSE(node_config_load("/nonexistent/appcnode.ini", config, error));
  EXPECT_EQ(error, "cannot open /nonexistent/appcnode.ini");
}

}  // namespace
