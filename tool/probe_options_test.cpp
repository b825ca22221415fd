#include "tool/probe_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool/probe_missing.h"

namespace dorvex {
namespace {

using Action = ProbeOptions::Action;

TEST(ProbeOptionsTest, ReadsEachOption) {
  struct Case {
    std::vector<std::string> args;
    Action action;
    bool summary;
    std::string salvage_dir;
    int threads;
    std::vector<std::string> images;
  };
  const Case cases[] = {
      {{"a.d88"}, Action::kProbe, false, "", 0, {"a.d88"}},
      {{"--summary", "a", "b"}, Action::kProbe, true, "", 0, {"a", "b"}},
      {{"-j", "4", "a"}, Action::kProbe, false, "", 4, {"a"}},
      {{"-j12", "a"}, Action::kProbe, false, "", 12, {"a"}},
      {{"a", "-j", "1024"}, Action::kProbe, false, "", 1024, {"a"}},
      {{"--salvage", "out", "a"}, Action::kProbe, false, "out", 0, {"a"}},
      {{"--salvage=out", "a"}, Action::kProbe, false, "out", 0, {"a"}},
      {{"--", "--summary", "-"},
       Action::kProbe,
       false,
       "",
       0,
       {"--summary", "-"}},
      {{"a", "--help"}, Action::kHelp, false, "", 0, {"a"}},
      {{"--version", "--bogus"}, Action::kVersion, false, "", 0, {}},
      {{}, Action::kUsageError, false, "", 0, {}},
      {{"--summary"}, Action::kUsageError, true, "", 0, {}},
      {{"-j", "0", "a"}, Action::kUsageError, false, "", 0, {}},
      {{"-j", "1025", "a"}, Action::kUsageError, false, "", 0, {}},
      {{"-j", "x", "a"}, Action::kUsageError, false, "", 0, {}},
      {{"-j-1", "a"}, Action::kUsageError, false, "", 0, {}},
      {{"a", "-j"}, Action::kUsageError, false, "", 0, {}},
      {{"a", "--salvage"}, Action::kUsageError, false, "", 0, {}},
      {{"--salvage=", "a"}, Action::kUsageError, false, "", 0, {}},
      {{"--jobs", "a"}, Action::kUsageError, false, "", 0, {}},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& arg : c.args) line += arg + " ";
    const ProbeOptions options = ParseProbeOptions(c.args);
    EXPECT_EQ(options.action, c.action) << line;
    if (c.action == Action::kUsageError) {
      EXPECT_FALSE(options.error.empty()) << line;
      continue;
    }
    if (c.action != Action::kProbe) continue;
    EXPECT_EQ(options.summary, c.summary) << line;
    EXPECT_EQ(options.salvage_dir, c.salvage_dir) << line;
    EXPECT_EQ(options.threads, c.threads) << line;
    EXPECT_EQ(options.images, c.images) << line;
  }
}

TEST(ProbeOptionsTest, WritesMissingTxtInTheLocalesLanguage) {
  struct Case {
    const char* lc_all;
    const char* lc_messages;
    const char* lang;
    Language language;
  };
  const Case cases[] = {
      {nullptr, nullptr, nullptr, Language::kEnglish},
      {nullptr, nullptr, "ja_JP.UTF-8", Language::kJapanese},
      {nullptr, nullptr, "ja", Language::kJapanese},
      {nullptr, "ja_JP.SJIS", "C", Language::kJapanese},
      {"C.UTF-8", "ja_JP.UTF-8", "ja_JP.UTF-8", Language::kEnglish},
      {"", "", "ja_JP.eucJP", Language::kJapanese},
      {"en_US.UTF-8", nullptr, "ja_JP", Language::kEnglish},
      {nullptr, nullptr, "jv_ID", Language::kEnglish},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LanguageOf(c.lc_all, c.lc_messages, c.lang), c.language)
        << (c.lc_all ? c.lc_all : "-") << " " << (c.lang ? c.lang : "-");
  }
}

}  // namespace
}  // namespace dorvex
