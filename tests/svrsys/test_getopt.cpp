// The option parser: values, clusters, groups, negative numbers and the
// error texts on standard output.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zul_getopt.h"

namespace {

struct Step {
  int letter;
  const char* value;  // expected zul::optarg, null for none
};

struct ParseCase {
  const char* name;
  const char* options;
  std::vector<const char*> args;  // after the program name
  std::vector<Step> steps;        // every call, the final -1 included
  const char* out;                // standard output of the whole parse
};

TEST(Getopt, Table) {
  const ParseCase cases[] = {
      {"values, a negative number among them", "ha:c:", {"-a", "5", "-c", "-3"},
       {{'a', "5"}, {'c', "-3"}, {-1, nullptr}}, ""},
      {"a cluster of letters of one group", "hv", {"-hv"}, {{'h', nullptr}, {'v', nullptr}, {-1, nullptr}}, ""},
      {"a letter without value skips a plain word after it", "ha:", {"-h", "word", "-a", "1"},
       {{'h', nullptr}, {'a', "1"}, {-1, nullptr}}, ""},
      {"a letter without value keeps a following option", "hv", {"-h", "-v"},
       {{'h', nullptr}, {'v', nullptr}, {-1, nullptr}}, ""},
      {"a change of group inside a cluster ends the options", "ha:c:", {"-hc", "x"}, {{'h', nullptr}, {-1, "x"}}, ""},
      {"a value that begins with '-' is also read as an option", "a:c:", {"-a", "-c", "2"},
       {{'a', "-c"}, {'c', "2"}, {-1, nullptr}}, ""},
      {"a word without '-'", "h", {"plain", "-h"}, {{'?', "-h"}, {'h', nullptr}, {-1, nullptr}},
       "illegal option -- plain \n\n"},
      {"a letter not in the string", "h", {"-x", "-h"}, {{'?', "-h"}, {'h', nullptr}, {-1, nullptr}},
       "illegal option -- x \n\n"},
      {"a missing value", "ha:", {"-h", "-a"}, {{'h', nullptr}, {'?', nullptr}, {-1, nullptr}},
       "prog:option requires an argument -- a \n"},
      {"a lone dash", "h", {"-"}, {{'?', nullptr}, {-1, nullptr}}, "illegal option -- - \n\n"},
      {"no options at all", "h", {}, {{-1, nullptr}}, ""},
  };
  for (const ParseCase& c : cases) {
    std::vector<std::string> words = {"prog"};
    for (const char* a : c.args) words.push_back(a);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(&w[0]);
    argv.push_back(nullptr);
    int argc = static_cast<int>(words.size());

    zul::getopt_reset();
    testing::internal::CaptureStdout();
    std::vector<std::pair<int, std::string>> got;
    for (size_t i = 0; i < c.steps.size(); ++i) {
      int letter = zul::getopt(argc, argv.data(), c.options);
      got.emplace_back(letter, zul::optarg != nullptr ? zul::optarg : "<null>");
    }
    std::string out = testing::internal::GetCapturedStdout();
    for (size_t i = 0; i < c.steps.size(); ++i) {
      EXPECT_EQ(c.steps[i].letter, got[i].first) << c.name << ", call " << i;
      if (c.steps[i].letter != -1 && c.steps[i].letter != '?') {
        EXPECT_EQ(c.steps[i].value != nullptr ? c.steps[i].value : "<null>", got[i].second) << c.name << ", call " << i;
      }
    }
    EXPECT_EQ(c.out, out) << c.name;
  }
}

// The tool's option string: letters after the last value-taking letter form
// one group and may be clustered.
TEST(Getopt, ToolOptionStringGroups) {
  const char* options = "ha:c:D:f:i:k:o:p:s:t:T:u:w:HhIv?";
  std::vector<std::string> words = {"tbl2zul", "-Iv", "-o", "create", "-t", "roads"};
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  zul::getopt_reset();
  int argc = static_cast<int>(words.size());
  EXPECT_EQ('I', zul::getopt(argc, argv.data(), options));
  EXPECT_EQ('v', zul::getopt(argc, argv.data(), options));
  EXPECT_EQ('o', zul::getopt(argc, argv.data(), options));
  EXPECT_STREQ("create", zul::optarg);
  EXPECT_EQ('t', zul::getopt(argc, argv.data(), options));
  EXPECT_STREQ("roads", zul::optarg);
  EXPECT_EQ(-1, zul::getopt(argc, argv.data(), options));
}

}  // namespace
