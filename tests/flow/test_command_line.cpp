// The built program started as a user starts it: its options, and a folder
// that cannot be opened.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

struct ProgramRun {
    int status = -1;      // as waitpid gives it
    std::string out;
    std::string err;
    bool killed = false;  // still running when the test stopped it
};

// Runs the program in the runtime folder with stdin from /dev/null. When
// stopWhenStderrHas is not empty, the program is ended with SIGTERM once its
// standard error has held that text for lingerMs; in any case after
// timeoutMs.
ProgramRun RunViewer(const std::vector<std::string>& args, const std::string& stopWhenStderrHas = "",
              int lingerMs = 0, int timeoutMs = 20000) {
    ProgramRun run;
    int out[2];
    int err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return run;
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(REELSTACK_RUNTIME_DIR) != 0) _exit(126);
        const int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(err[0]);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(REELSTACK_BINARY));
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(REELSTACK_BINARY, argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);

    const auto start = std::chrono::steady_clock::now();
    long seenAt = -1;
    bool outOpen = true;
    bool errOpen = true;
    while (outOpen || errOpen) {
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();
        if (seenAt < 0 && !stopWhenStderrHas.empty() &&
            run.err.find(stopWhenStderrHas) != std::string::npos) {
            seenAt = static_cast<long>(elapsed);
        }
        if ((seenAt >= 0 && elapsed - seenAt >= lingerMs) || elapsed > timeoutMs) {
            kill(pid, SIGTERM);
            run.killed = true;
            break;
        }
        pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
        if (poll(fds, 2, 50) <= 0) continue;
        char buffer[4096];
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                (i == 0 ? outOpen : errOpen) = false;
            } else {
                (i == 0 ? run.out : run.err).append(buffer, static_cast<size_t>(n));
            }
        }
    }
    close(out[0]);
    close(err[0]);
    waitpid(pid, &run.status, 0);
    return run;
}

TEST(CommandLine, HelpAndVersionPrintAndExit) {
    struct Row {
        std::vector<std::string> args;
        std::string out;  // standard output starts with this
    };
    const Row rows[] = {
        {{"--help"}, "usage: reelstack [FOLDER]\n"},
        {{"-h"}, "usage: reelstack [FOLDER]\n"},
        {{"--version"}, "リールスタック 1.0.1\n"},
        {{"--version", "/no/such/folder"}, "リールスタック 1.0.1\n"},
    };
    for (const Row& row : rows) {
        const ProgramRun run = RunViewer(row.args);
        ASSERT_FALSE(run.killed) << row.args[0] << " did not end";
        ASSERT_TRUE(WIFEXITED(run.status)) << row.args[0];
        EXPECT_EQ(WEXITSTATUS(run.status), 0) << row.args[0];
        EXPECT_EQ(run.out.compare(0, row.out.size(), row.out), 0) << run.out;
        EXPECT_EQ(run.err, "") << row.args[0];
    }
    EXPECT_EQ(RunViewer({"--version"}).out, "リールスタック 1.0.1\n");
}

TEST(CommandLine, WrongUseEndsWithStatusTwoAndTheUsage) {
    const std::vector<std::string> rows[] = {
        {"--bogus"},
        {"/tmp", "/tmp"},
    };
    for (const auto& args : rows) {
        const ProgramRun run = RunViewer(args);
        ASSERT_FALSE(run.killed) << args[0] << " did not end";
        ASSERT_TRUE(WIFEXITED(run.status));
        EXPECT_EQ(WEXITSTATUS(run.status), 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("usage: reelstack [FOLDER]"), std::string::npos) << run.err;
    }
}

TEST(CommandLine, AFolderThatCannotBeOpenedIsReportedAndTheViewerStartsWithoutAWall) {
    const std::string missing = "/no/such/reelstack-folder";
    const ProgramRun run = RunViewer({missing}, "not a readable folder", 2000);
    EXPECT_NE(run.err.find("reelstack: " + missing + ": not a readable folder"), std::string::npos)
        << run.err;
    // It was still running two seconds later (the window up, no wall) when
    // it was told to end.
    ASSERT_TRUE(run.killed);
    EXPECT_TRUE(WIFSIGNALED(run.status) && WTERMSIG(run.status) == SIGTERM)
        << "status " << run.status;
}

}  // namespace
