// The built program started as a user starts it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

namespace {

std::string Slurp(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

TEST(CommandLine, OptionsAndFolders) {
    const std::string usage = "usage: reelstack [FOLDER]\n", version = "リールスタック 1.0.1\n";
    const std::string out = testing::TempDir() + "reelstack-out", err = out + "-err";
    // arguments, exit status (124: still running after 4 s), start of the
    // standard output, part of the standard error
    const std::tuple<std::string, int, std::string, std::string> rows[] = {
        {"--help", 0, usage, ""},
        {"-h", 0, usage, ""},
        {"--version", 0, version, ""},
        {"--version /no/such/folder", 0, version, ""},
        {"--bogus", 2, "", usage},
        {"/tmp /tmp", 2, "", usage},
        {"/no/such/folder", 124, "", "reelstack: /no/such/folder: not a readable folder"},
        // the texture budget: whole MB from 1; the folder after it still counts
        {"--texture-budget 64 --help", 0, usage, ""},
        {"--texture-budget=64 /no/such/folder", 124, "", "/no/such/folder: not a readable folder"},
        {"--texture-budget", 2, "", "--texture-budget takes a number of MB"},
        {"--texture-budget 0", 2, "", "--texture-budget takes a number of MB"},
        {"--texture-budget=12x", 2, "", "--texture-budget takes a number of MB"},
        {"--texture-budget -5 /tmp", 2, "", "--texture-budget takes a number of MB"},
    };
    for (const auto& [args, status, printed, complaint] : rows) {
        const std::string run = "timeout -k 5 4 " REELSTACK_BINARY " " + args + " </dev/null";
        const int result = std::system(
            ("cd " REELSTACK_RUNTIME_DIR " && " + run + " >" + out + " 2>" + err).c_str());
        EXPECT_EQ(WIFEXITED(result) ? WEXITSTATUS(result) : -1, status) << args;
        const std::string seen = Slurp(out), complained = Slurp(err);
        EXPECT_EQ(seen.substr(0, printed.size()), printed) << args;
        if (printed == version || status == 2) {
            EXPECT_EQ(seen, printed) << args;
        }
        EXPECT_TRUE(complaint.empty() ? complained.empty()
                                      : complained.find(complaint) != std::string::npos)
            << args << ": " << complained;
    }
}

TEST(CommandLine, HelpSaysWhatTheTextureBudgetIs) {
    const std::string out = testing::TempDir() + "reelstack-help";
    ASSERT_EQ(std::system((REELSTACK_BINARY " --help >" + out).c_str()), 0);
    const std::string help = Slurp(out);
    EXPECT_NE(help.find("--texture-budget MB  texture memory one GIF may take (default 256 MB"),
              std::string::npos)
        << help;
    EXPECT_NE(help.find("is skipped"), std::string::npos) << help;
}

}  // namespace
