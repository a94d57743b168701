// The brenwick-devsim program as a user runs it: its first line, its link, its signals and exit codes.

#include "support/HostMessages.h"
#include "support/HostPort.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

namespace {

fs::path TempPath(const std::string& name) {
    return fs::temp_directory_path() / ("devsim_prog_" + std::to_string(::getpid()) + "_" + name);
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// One run of the program: standard output through a pipe, standard error into a file.
class CProgramRun {
  public:
    explicit CProgramRun(std::vector<std::string> args)
        : m_ErrPath(TempPath("stderr_" + std::to_string(++s_Runs))) {
        int fds[2];
        EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        m_Out = fds[0];
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, m_ErrPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        args.insert(args.begin(), BRENWICK_DEVSIM_EXE);
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        EXPECT_EQ(::posix_spawn(&m_Pid, BRENWICK_DEVSIM_EXE, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
    }
    ~CProgramRun() {
        if (m_Pid > 0) {
            ::kill(m_Pid, SIGKILL);
            Wait();
        }
        ::close(m_Out);
        fs::remove(m_ErrPath);
    }

    // The first line of standard output, without its newline; empty if none comes within timeoutMs.
    std::string FirstLine(int timeoutMs) {
        std::string line;
        char c = 0;
        pollfd p{m_Out, POLLIN, 0};
        while (::poll(&p, 1, timeoutMs) > 0 && ::read(m_Out, &c, 1) == 1 && c != '\n') {
            line += c;
        }
        return line;
    }

    void Signal(int sig) { ::kill(m_Pid, sig); }

    // The exit status, waiting for it; -1 when the program did not exit normally.
    int Wait() {
        int status = 0;
        while (::waitpid(m_Pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_Pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Stderr() const { return ReadFile(m_ErrPath); }

  private:
    static inline int s_Runs = 0;
    fs::path m_ErrPath;
    pid_t m_Pid = -1;
    int m_Out = -1;
};

std::string PortOf(const std::string& firstLine) {
    return firstLine.rfind("PORT ", 0) == 0 ? firstLine.substr(5) : std::string();
}

} // namespace

TEST(DevsimProgram, PrintsItsPortServesAndEndsCleanlyOnEachStopSignal) {
    for (const int sig : {SIGTERM, SIGINT}) {
        const fs::path link = TempPath("link");
        CProgramRun run({"--name", "Line Test", "--link", link.string()});
        const std::string port = PortOf(run.FirstLine(5000));
        ASSERT_FALSE(port.empty());
        ASSERT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(fs::read_symlink(link).string(), port);

        CHostPort host(link.string()); // through the link, as a user would
        ASSERT_TRUE(host.IsOpen());
        EXPECT_EQ(host.Exchange(hostmsg::Request(0x0001)),
                  (Bytes{0x0E, 0x00, 0x01, 0x00, 'L', 'i', 'n', 'e', ' ', 'T', 'e', 's', 't', 0x00}));
        run.Signal(sig);
        EXPECT_EQ(run.Wait(), 0) << "signal " << sig;
        EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "the link is removed at exit";
    }
}

TEST(DevsimProgram, ReplacesAStaleLink) {
    const fs::path link = TempPath("stale");
    fs::remove(link);
    fs::create_symlink("/nonexistent/tty", link);
    CProgramRun run({"--link", link.string()});
    const std::string port = PortOf(run.FirstLine(5000));
    ASSERT_FALSE(port.empty());
    EXPECT_EQ(fs::read_symlink(link).string(), port);
    run.Signal(SIGTERM);
    EXPECT_EQ(run.Wait(), 0);
}

TEST(DevsimProgram, BadOptionsGiveUsageAndExitTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"}, {"--page-size", "0"}, {"--product-id", "xyz"}, {"--baud"}, {"--boot-length", "0x40000"}};
    for (const auto& args : cases) {
        CProgramRun run(args);
        EXPECT_EQ(run.Wait(), 2) << args[0];
        EXPECT_NE(run.Stderr().find("usage: brenwick-devsim"), std::string::npos) << args[0];
        EXPECT_EQ(run.FirstLine(100), "") << "no port for " << args[0];
    }
    CProgramRun help({"--help"});
    EXPECT_EQ(help.FirstLine(5000), "usage: brenwick-devsim [options]");
    EXPECT_EQ(help.Wait(), 0);
}

TEST(DevsimProgram, VerboseLogsEveryMessageInHex) {
    CProgramRun run({"-v"});
    const std::string port = PortOf(run.FirstLine(5000));
    ASSERT_FALSE(port.empty());
    CHostPort host(port);
    EXPECT_EQ(host.Exchange(hostmsg::Request(0x0005)), (Bytes{0x05, 0x00, 0x05, 0x00, 0x00}));
    run.Signal(SIGTERM);
    EXPECT_EQ(run.Wait(), 0);
    const std::string log = run.Stderr();
    EXPECT_NE(log.find("<- 04 20 05 00\n"), std::string::npos) << log;
    EXPECT_NE(log.find("-> 05 00 05 00 00\n"), std::string::npos) << log;
}

TEST(DevsimProgram, ExitsAfterHangingUpAndWritesItsFlash) {
    const fs::path out = TempPath("flash.bin");
    fs::remove(out);
    CProgramRun run({"--hang-up-page", "2", "--flash-size", "0x8000", "--flash-out", out.string()});
    const std::string port = PortOf(run.FirstLine(5000));
    ASSERT_FALSE(port.empty());
    CHostPort host(port);
    const uint8_t id[4] = {0x5A, 0xFF, 0xA5, 0x00};
    ASSERT_EQ(host.Exchange(hostmsg::ProgramControl(hostmsg::kPrepare, id)), hostmsg::kEmptyAck);
    ASSERT_EQ(host.Exchange(hostmsg::ProgramControl(hostmsg::kBegin, id)), hostmsg::kEmptyAck);
    ASSERT_EQ(host.Exchange(hostmsg::DataItem(0x104000, Bytes(256, 0x42))), hostmsg::kPageAccepted);
    host.Write(hostmsg::DataItem(0x104100, Bytes(256, 0x43)));
    EXPECT_TRUE(host.SeesHangUp(3000));
    EXPECT_EQ(run.Wait(), 0); // no signal needed

    const std::string flash = ReadFile(out);
    ASSERT_EQ(flash.size(), 0x8000u);
    EXPECT_EQ(static_cast<uint8_t>(flash[0x4000]), 0x42);
    EXPECT_EQ(static_cast<uint8_t>(flash[0x40FF]), 0x42);
    EXPECT_EQ(static_cast<uint8_t>(flash[0x4100]), 0xFF) << "the page it hung up on is not written";
    fs::remove(out);
}
