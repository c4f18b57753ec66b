// The built program started as a user starts it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

std::string Slurp(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

TEST(CommandLine, OptionsAndFolders) {
    const std::string usage = "usage: reelstack [OPTION]... [FOLDER]\n",
                      version = "リールスタック 1.0.1\n";
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
        // Bad settings end before any window: these rows run without a
        // display, where opening one would abort.
        {"--width 123", 2, "",
         "reelstack: --width: bad value '123'; accepted: 100, 150, 200, 250, 300, 350 or 400\n"},
        {"--interval 8 /tmp", 2, "",
         "reelstack: --interval: bad value '8'; accepted: 1, 2, 3, 4, 5, 6, 7, 10, 15, 20, 30, "
         "60 or stop\n"},
        {"--interval=0", 2, "", "--interval: bad value '0'"},
        {"--interval 5s", 2, "", "--interval: bad value '5s'"},
        {"--order size", 2, "", "reelstack: --order: bad value 'size'; accepted: name or random\n"},
        {"--size 0x0", 2, "", "reelstack: --size: bad value '0x0'; accepted: WxH with W and H"},
        {"--size huge", 2, "", "reelstack: --size: bad value 'huge'"},
        {"--size 800x", 2, "", "reelstack: --size: bad value '800x'"},
        {"--size 99999x600", 2, "", "reelstack: --size: bad value '99999x600'"},
        {"--width", 2, "", "reelstack: --width needs a value: 100, 150"},
        {"--fullscreen=yes", 2, "", "reelstack: --fullscreen takes no value\n"},
        {"--bogus --width 200", 2, "", "reelstack: unknown option --bogus\n" + usage},
        // the texture budget: whole MB from 1; the folder after it still counts
        {"--texture-budget 64 --help", 0, usage, ""},
        {"--texture-budget=64 /no/such/folder", 124, "", "/no/such/folder: not a readable folder"},
        {"--texture-budget", 2, "", "reelstack: --texture-budget needs a value: a whole number of MB"},
        {"--texture-budget 0", 2, "", "--texture-budget: bad value"},
        {"--texture-budget=12x", 2, "", "--texture-budget: bad value"},
        {"--texture-budget -5 /tmp", 2, "", "--texture-budget: bad value"},
    };
    for (const auto& [args, status, printed, complaint] : rows) {
        const std::string display = status == 2 ? "env -u DISPLAY " : "";
        const std::string run =
            "timeout -k 5 4 " + display + REELSTACK_BINARY " " + args + " </dev/null";
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
        // A bad value is one line.
        if (status == 2 && complaint.find("usage") == std::string::npos &&
            args.find("/tmp /tmp") == std::string::npos) {
            EXPECT_EQ(std::count(complained.begin(), complained.end(), '\n'), 1) << args;
        }
    }
    // --help names every option and both keys.
    ASSERT_EQ(std::system((REELSTACK_BINARY " --help >" + out).c_str()), 0);
    const std::string help = Slurp(out);
    for (const char* line : {"--interval SECONDS", "--width PX", "--order ORDER", "--size WxH",
                             "--fullscreen", "--topmost", "--bare", "F11", "Esc",
                             "--texture-budget MB texture memory one GIF may take (default 256 MB",
                             "is skipped"}) {
        EXPECT_NE(help.find(line), std::string::npos) << line;
    }
}

}  // namespace
