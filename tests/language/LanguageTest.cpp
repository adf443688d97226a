// The language tests: every script tests/language/<feature>/<name>.clp is
// run by the deducer program, as a process, in a fresh empty directory, and
// its output is compared with what the script expects (see
// docs/ARCHITECTURE.md, "Language tests"):
//
//   <name>.out          the exact standard output (else the expect lines)
//   ; expect: TEXT      one line of standard output, in order
//   ; expect-error: T   standard error contains T; the exit status is 1
//   ; status: N         the exit status (default 0, or 1 with expect-error)
//   ; args: OPTIONS     options given before the script's path
//   <name>.in           standard input
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ProcessHelper.h"

namespace {

namespace fs = std::filesystem;

struct TScript {
  std::string Feature;
  std::string Name;
  fs::path Path;
};

// How a script shows in test names and messages.
void PrintTo(const TScript& Script, std::ostream* Out) {
  *Out << Script.Feature << "/" << Script.Name << ".clp";
}

std::string ReadFile(const fs::path& Path) {
  std::ifstream f(Path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

std::vector<TScript> FindScripts() {
  std::vector<TScript> scripts;
  std::error_code ec;
  for (const auto& entry : fs::recursive_directory_iterator(KB_LANGUAGE_DIR, ec)) {
    if (!entry.is_regular_file() || entry.path().extension() != ".clp") continue;
    scripts.push_back({entry.path().parent_path().filename().string(), entry.path().stem().string(),
                       entry.path()});
  }
  std::sort(scripts.begin(), scripts.end(),
            [](const TScript& a, const TScript& b) { return a.Path < b.Path; });
  return scripts;
}

// The text after Key at the start of Line (after blanks), if it is there.
bool After(const std::string& Line, const std::string& Key, std::string& Rest) {
  const size_t start = Line.find_first_not_of(" \t");
  if (start == std::string::npos || Line.compare(start, Key.size(), Key) != 0) return false;
  Rest = Line.substr(start + Key.size());
  if (!Rest.empty() && Rest[0] == ' ') Rest.erase(0, 1);
  while (!Rest.empty() && (Rest.back() == '\r' || Rest.back() == '\n')) Rest.pop_back();
  return true;
}

class LanguageTest : public ::testing::TestWithParam<TScript> {};

TEST_P(LanguageTest, Script) {
  const TScript& script = GetParam();
  const std::string text = ReadFile(script.Path);
  std::string expected;
  std::vector<std::string> errors;
  std::vector<std::string> args = {KB_DEDUCER_PATH};
  int status = -1;
  std::istringstream lines(text);
  for (std::string line, rest; std::getline(lines, line);) {
    if (After(line, "; expect:", rest)) {
      expected += rest + "\n";
    } else if (After(line, "; expect-error:", rest)) {
      errors.push_back(rest);
    } else if (After(line, "; status:", rest)) {
      status = std::stoi(rest);
    } else if (After(line, "; args:", rest)) {
      std::istringstream words(rest);
      for (std::string w; words >> w;) args.push_back(w);
    }
  }
  fs::path outFile = script.Path;
  outFile.replace_extension(".out");
  if (fs::exists(outFile)) expected = ReadFile(outFile);
  fs::path inFile = script.Path;
  inFile.replace_extension(".in");
  const std::string input = fs::exists(inFile) ? ReadFile(inFile) : std::string();
  if (status < 0) status = errors.empty() ? 0 : 1;
  args.push_back(script.Path.string());

  kb::test::TTempDir dir;
  ASSERT_FALSE(dir.Path().empty());
  const kb::test::TProcessResult r = kb::test::RunProcess(args, input, dir.Path());
  EXPECT_EQ(r.Out, expected) << script.Path;
  EXPECT_EQ(r.Status, status) << script.Path << "\n" << r.Err;
  if (errors.empty()) {
    EXPECT_EQ(r.Err, "") << script.Path;
  }
  for (const std::string& e : errors)
    EXPECT_NE(r.Err.find(e), std::string::npos) << script.Path << ": no \"" << e << "\" in\n"
                                                << r.Err;
}

std::string TestName(const ::testing::TestParamInfo<TScript>& Info) {
  std::string name = Info.param.Feature + "_" + Info.param.Name;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Scripts, LanguageTest, ::testing::ValuesIn(FindScripts()), TestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(LanguageTest);

}  // namespace
