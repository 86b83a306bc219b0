#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tempdir.h"

namespace {

namespace fs = std::filesystem;

void WriteScript(const std::string& file, const std::string& text) {
  std::ofstream(file) << "#!/bin/sh\n" << text;
  fs::permissions(file, fs::perms::owner_all);
}

// run.sh and then test.sh on a copy of the scripts, with stand-ins for the
// tools they call: what they ask of cmake and ctest, without a build.
TEST(Scripts, TestShBuildsAndRunsTheWholeSuiteAfterRunSh) {
  TTempDirectory dir;
  const std::string root = dir / "root", stubs = dir / "stubs", log = dir / "log";
  fs::create_directories(root + "/tools");
  fs::create_directories(stubs);
  for (const char* file : {"run.sh", "test.sh", "tools/deps.sh"})
    fs::copy_file(std::string(QUILLET_SOURCE_DIR) + "/" + file, root + "/" + file);
  WriteScript(stubs + "/dpkg-query", "printf installed\n");
  WriteScript(stubs + "/cmake", "echo \"$*\" >>" + log +
                                    "\nwhile [ $# -gt 0 ]; do [ \"$1\" = -B ] && mkdir -p \"$2\"; shift; done\n");
  WriteScript(stubs + "/ctest", "echo \"ctest $*\" >>" + log + "\n");
  const std::string path = "PATH='" + stubs + "':\"$PATH\" ";
  // run.sh then fails on the missing program; only its build matters here.
  std::system((path + "bash " + root + "/run.sh >/dev/null 2>&1").c_str());
  ASSERT_EQ(std::system((path + "bash " + root + "/test.sh >/dev/null 2>&1").c_str()), 0);

  std::ifstream in(log);
  std::vector<std::string> configures;
  std::string line, ctest;
  while (std::getline(in, line)) (line.starts_with("-S") ? configures.emplace_back() : ctest) = line;
  ASSERT_EQ(configures.size(), 2u);
  const std::string testBuild = "-B " + root + "/build ";
  EXPECT_EQ(configures[0].find(testBuild), std::string::npos);
  EXPECT_NE(configures[1].find(testBuild), std::string::npos);
  EXPECT_NE(configures[1].find("-DQUILLET_BUILD_TESTS=ON"), std::string::npos);
  EXPECT_NE(ctest.find("--no-tests=error"), std::string::npos);
}

}  // namespace
