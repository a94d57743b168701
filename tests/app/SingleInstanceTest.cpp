// One copy per user, over real sockets: where the socket lies (only in a folder this user alone can write),
// what is never told to raise or removed (sockets of others, files put in place of ours), and a server that
// keeps serving through a full descriptor table and a crowd of idle connections.
#include "app/SingleInstance.h"

#include "AppRig.h"
#include "base/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <tuple>
#include <unistd.h>
#include <vector>

using namespace brenwick;
using namespace brenwick::app;

namespace {

constexpr uid_t kOtherUser = 65534; // nobody
constexpr int kWaitMs = 5000;

// Sets (or, with no value, unsets) an environment variable for the life of the object.
class CEnvVar {
  public:
    CEnvVar(const char* name, const std::optional<std::string>& value)
        : m_Name(name), m_WasSet(qEnvironmentVariableIsSet(name)), m_Saved(qgetenv(name)) {
        if (value) {
            qputenv(name, QByteArray::fromStdString(*value));
        } else {
            qunsetenv(name);
        }
    }
    ~CEnvVar() {
        if (m_WasSet) {
            qputenv(m_Name, m_Saved);
        } else {
            qunsetenv(m_Name);
        }
    }
    CEnvVar(const CEnvVar&) = delete;
    CEnvVar& operator=(const CEnvVar&) = delete;

  private:
    const char* m_Name;
    bool m_WasSet;
    QByteArray m_Saved;
};

std::string SocketName() {
    return "brenwick-" + std::to_string(::getuid()) + ".instance";
}

std::string FallbackFolder(const CTempDir& tmp) {
    return tmp.Path("brenwick-" + std::to_string(::getuid()));
}

sockaddr_un Address(const std::string& path) {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    return address;
}

// A stream socket bound at the path (listening unless told not to), non-blocking.
UniqueFd Bind(const std::string& path, bool listening = true) {
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    const sockaddr_un address = Address(path);
    EXPECT_EQ(::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << path;
    if (listening) {
        EXPECT_EQ(::listen(fd.Get(), 64), 0);
    }
    return fd;
}

// A client of the socket at the path; it sends `request` when there is one.
UniqueFd Connect(const std::string& path, const std::string& request) {
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_un address = Address(path);
    EXPECT_EQ(::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << path;
    if (!request.empty()) {
        EXPECT_EQ(::send(fd.Get(), request.data(), request.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(request.size()));
    }
    return fd;
}

// Everything the connections waiting on a listening socket have sent.
std::string Heard(const UniqueFd& listener) {
    std::string heard;
    while (true) {
        const UniqueFd client(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!client.Valid()) {
            return heard;
        }
        char buffer[64];
        ssize_t n = 0;
        while ((n = ::read(client.Get(), buffer, sizeof buffer)) > 0) {
            heard.append(buffer, static_cast<size_t>(n));
        }
    }
}

// True when the folder is a real folder of this user's that nobody else may enter.
bool OursAndPrivate(const std::string& folder) {
    struct stat st = {};
    return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 0777) == 0700;
}

bool IsSocket(const std::string& path) {
    struct stat st = {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

std::string Folder(const QString& path) {
    return std::filesystem::path(path.toStdString()).parent_path().string();
}

// A private runtime folder for the test's copies, and a temporary folder of its own.
struct CInstanceDirs : CTempDir {
    CInstanceDirs() {
        std::filesystem::create_directories(Root() / "run");
        ::chmod(Path("run").c_str(), 0700);
    }
    std::string SocketPath() const { return Path("run/" + SocketName()); }
    CEnvVar m_Runtime{"XDG_RUNTIME_DIR", Path("run")};
    CEnvVar m_Tmp{"TMPDIR", Path("")};
};

// Counts the raise requests an instance passes on.
struct CRaiseCount {
    explicit CRaiseCount(CSingleInstance& instance) {
        QObject::connect(&instance, &CSingleInstance::RaiseRequested, [this] { ++m_Count; });
    }
    int m_Count = 0;
};

// Numbers of the process's open sockets.
int OpenSockets() {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        count += std::filesystem::read_symlink(entry.path(), ec).string().starts_with("socket:") ? 1 : 0;
    }
    return count;
}

} // namespace

// A folder for the socket that is a link, is open to others or belongs to another user is not used, whether
// named as the runtime folder or found in the temporary folder: a socket put there by someone else is never
// told to raise and stays, and this copy runs, with its socket in a private folder of its own where there is
// one.
TEST(SingleInstanceFolder, AnUntrustworthyFolderIsNotUsedAndItsSocketHearsNothing) {
    struct Row {
        const char* what;
        mode_t mode;
        bool link;
        bool othersFolder;
    };
    for (const bool asRuntime : {true, false}) {
        for (const Row& row : {Row{"world-writable", 0777, false, false},
                               {"sticky and world-writable", 01777, false, false},
                               {"group-writable", 0770, false, false},
                               {"open to others to enter", 0755, false, false},
                               {"a link to a private folder", 0700, true, false},
                               {"another user's private folder", 0700, false, true}}) {
            SCOPED_TRACE(std::string(asRuntime ? "runtime folder " : "temporary folder's ") + row.what);
            if (row.othersFolder && ::getuid() != 0) {
                continue; // giving a folder to another user needs root
            }
            CTempDir dir;
            const CEnvVar tmp("TMPDIR", dir.Path(""));
            const std::string folder = asRuntime ? dir.Path("runtime") : FallbackFolder(dir);
            const CEnvVar runtime("XDG_RUNTIME_DIR", asRuntime ? std::optional(folder) : std::nullopt);
            std::filesystem::create_directory(dir.Path("real"));
            ASSERT_EQ(::chmod(dir.Path("real").c_str(), row.mode), 0);
            if (row.link) {
                std::filesystem::create_directory_symlink(dir.Path("real"), folder);
            } else {
                std::filesystem::rename(dir.Path("real"), folder);
            }
            const std::string squatterPath = folder + "/" + SocketName();
            const UniqueFd squatter = Bind(squatterPath);
            if (row.othersFolder) {
                ASSERT_EQ(::chown(folder.c_str(), kOtherUser, kOtherUser), 0);
                ASSERT_EQ(::lchown(squatterPath.c_str(), kOtherUser, kOtherUser), 0);
            }

            CSingleInstance instance(QStringLiteral("brenwick"));
            EXPECT_TRUE(instance.Acquire()) << "handed over to a socket in a folder not ours alone";
            EXPECT_EQ(Heard(squatter), "");
            EXPECT_TRUE(IsSocket(squatterPath)) << "another's socket was removed";
            struct stat st = {};
            ASSERT_EQ(::stat(folder.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, row.mode) << "the folder was changed";
            if (asRuntime) {
                EXPECT_TRUE(OursAndPrivate(Folder(instance.ServerPath())))
                    << instance.ServerPath().toStdString();
                EXPECT_TRUE(IsSocket(instance.ServerPath().toStdString()));
            } else {
                EXPECT_TRUE(instance.ServerPath().isEmpty()) << instance.ServerPath().toStdString();
            }
        }
    }
}

// Without a usable runtime folder the socket lies in a folder made for it in the temporary folder, which
// only this user may enter.
TEST(SingleInstanceFolder, WithoutARuntimeFolderAPrivateOneIsMadeInTheTemporaryFolder) {
    for (const std::optional<std::string>& runtime :
         {std::optional<std::string>(), std::optional<std::string>(""),
          std::optional<std::string>("/gone")}) {
        SCOPED_TRACE(runtime ? "XDG_RUNTIME_DIR=" + *runtime : "XDG_RUNTIME_DIR unset");
        CTempDir dir;
        const CEnvVar tmp("TMPDIR", dir.Path(""));
        const CEnvVar runtimeVar("XDG_RUNTIME_DIR", runtime);
        const std::string expected = FallbackFolder(dir) + "/" + SocketName();
        EXPECT_EQ(CSingleInstance::ServerPathFor(QStringLiteral("brenwick")).toStdString(), expected);
        EXPECT_TRUE(OursAndPrivate(FallbackFolder(dir)));

        CSingleInstance first(QStringLiteral("brenwick"));
        ASSERT_TRUE(first.Acquire());
        EXPECT_TRUE(IsSocket(expected));
        CSingleInstance second(QStringLiteral("brenwick"));
        EXPECT_FALSE(second.Acquire()) << "the second copy did not find the first in the private folder";
    }
}

// What lies at the socket's path before the first copy starts: a socket of ours that nobody listens on is
// taken over; anything else is neither told to raise nor removed, and this copy runs without the rule.
TEST(SingleInstance, OnlyAStaleSocketOfOursIsTakenOver) {
    enum class Kind { Stale, PlainFile, OthersSocket };
    for (const auto& [what, kind] : {std::pair{"stale socket of ours", Kind::Stale},
                                     {"plain file", Kind::PlainFile},
                                     {"another user's socket nobody listens on", Kind::OthersSocket}}) {
        SCOPED_TRACE(what);
        if (kind == Kind::OthersSocket && ::getuid() != 0) {
            continue; // giving a socket to another user needs root
        }
        CInstanceDirs dirs;
        const std::string path = dirs.SocketPath();
        if (kind == Kind::PlainFile) {
            dirs.Write("run/" + SocketName(), std::string("raise\n"));
        } else {
            Bind(path); // closed again at once, the file left behind: connecting gives ECONNREFUSED
        }
        if (kind == Kind::OthersSocket) {
            ASSERT_EQ(::lchown(path.c_str(), kOtherUser, kOtherUser), 0);
        }
        struct stat before = {};
        ASSERT_EQ(::lstat(path.c_str(), &before), 0);

        CSingleInstance first(QStringLiteral("brenwick"));
        EXPECT_TRUE(first.Acquire());
        CSingleInstance second(QStringLiteral("brenwick"));
        EXPECT_EQ(second.Acquire(), kind != Kind::Stale) << "the first copy does not serve the path";
        if (kind != Kind::Stale) {
            struct stat after = {};
            ASSERT_EQ(::lstat(path.c_str(), &after), 0) << "removed";
            EXPECT_EQ(after.st_mode, before.st_mode) << "replaced";
            EXPECT_EQ(after.st_uid, before.st_uid) << "replaced";
        }
    }
}

// With no descriptor to spare, waiting connections cannot be taken; the server pauses and serves them all
// once descriptors are free again, and its socket stays for later copies.
TEST(SingleInstance, KeepsServingThroughAFullDescriptorTable) {
    CInstanceDirs dirs;
    CSingleInstance first(QStringLiteral("brenwick"));
    const CRaiseCount raised(first);
    ASSERT_TRUE(first.Acquire());
    constexpr int kClients = 20;
    std::vector<UniqueFd> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(Connect(dirs.SocketPath(), "raise\n"));
    }

    rlimit saved = {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    {
        // Every descriptor below a lowered limit in use.
        int highest = 0;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
            highest = std::max(highest, std::stoi(entry.path().filename().string()));
        }
        rlimit lowered = saved;
        lowered.rlim_cur = std::min<rlim_t>(saved.rlim_cur, static_cast<rlim_t>(highest) + 16);
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
        std::vector<UniqueFd> fillers;
        for (UniqueFd fd(::open("/dev/null", O_RDONLY | O_CLOEXEC)); fd.Valid();
             fd = UniqueFd(::open("/dev/null", O_RDONLY | O_CLOEXEC))) {
            fillers.push_back(std::move(fd));
        }
        const int fullErrno = errno;
        Pump(500); // the server meets the full table, more than once
        const int raisedWhileFull = raised.m_Count;
        fillers.clear();
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
        EXPECT_EQ(fullErrno, EMFILE);
        EXPECT_EQ(raisedWhileFull, 0) << "the table was not full";
    }
    EXPECT_TRUE(IsSocket(dirs.SocketPath())) << "the socket went with the failed accept";
    EXPECT_TRUE(PumpUntil([&] { return raised.m_Count == kClients; }, kWaitMs)) << raised.m_Count;
    CSingleInstance later(QStringLiteral("brenwick"));
    EXPECT_FALSE(later.Acquire()) << "the server stopped serving";
    EXPECT_TRUE(PumpUntil([&] { return raised.m_Count == kClients + 1; }, kWaitMs)) << raised.m_Count;
}

// Connections that send nothing are not kept beyond a bound and are closed after a while; the server still
// answers afterwards.
TEST(SingleInstance, IdleConnectionsAreBoundedAndClosed) {
    CInstanceDirs dirs;
    CSingleInstance first(QStringLiteral("brenwick"));
    const CRaiseCount raised(first);
    ASSERT_TRUE(first.Acquire());
    const int before = OpenSockets();
    constexpr int kClients = 48;
    std::vector<UniqueFd> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(Connect(dirs.SocketPath(), ""));
        ASSERT_EQ(::fcntl(clients.back().Get(), F_SETFL, O_NONBLOCK), 0);
    }
    const auto closed = [&] {
        int count = 0;
        for (const UniqueFd& client : clients) {
            char byte = 0;
            count += ::read(client.Get(), &byte, 1) == 0 ? 1 : 0;
        }
        return count;
    };
    int most = 0;
    EXPECT_TRUE(PumpUntil(
        [&] {
            most = std::max(most, OpenSockets() - before - kClients);
            return closed() == kClients;
        },
        10000))
        << closed() << " of " << kClients << " idle connections closed";
    // A few to spare for sockets the rest of the process may open meanwhile.
    EXPECT_LE(most, CSingleInstance::kMaxClients + 4) << "idle connections held at once";
    EXPECT_GT(most, 0) << "none was taken";
    CSingleInstance later(QStringLiteral("brenwick"));
    EXPECT_FALSE(later.Acquire());
    EXPECT_TRUE(PumpUntil([&] { return raised.m_Count == 1; }, kWaitMs));
}

// At exit the socket file goes only when it is still the one this copy made.
TEST(SingleInstance, ExitRemovesOnlyItsOwnSocket) {
    for (const char* what :
         {"its own socket", "a file put in its place", "another socket put in its place"}) {
        SCOPED_TRACE(what);
        CInstanceDirs dirs;
        const std::string path = dirs.SocketPath();
        UniqueFd other;
        {
            CSingleInstance instance(QStringLiteral("brenwick"));
            ASSERT_TRUE(instance.Acquire());
            if (std::string(what) != "its own socket") {
                ASSERT_TRUE(std::filesystem::remove(path));
            }
            if (std::string(what) == "a file put in its place") {
                dirs.Write("run/" + SocketName(), std::string("kept"));
            } else if (std::string(what) == "another socket put in its place") {
                other = Bind(path);
            }
        }
        EXPECT_EQ(std::filesystem::exists(path), std::string(what) != "its own socket");
    }
}
