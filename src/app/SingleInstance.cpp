#include "app/SingleInstance.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace brenwick::app {

namespace {

constexpr char kRaise[] = "raise\n";
constexpr int kConnectMs = 1000;
constexpr int kTries = 3;
constexpr int kPauseMs = 100;        // between accepts while descriptors or memory have run out
constexpr int kAcceptsPerTurn = 256; // then the window's other events have their turn
constexpr int kRequestMs = 2000;     // a connection's time to send its request
constexpr qsizetype kMaxRequest = 64;

QString ErrorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Why the folder cannot hold the socket; empty when it is a real folder of this user's that nobody else may
// enter (a link is not trusted: what it points at may change).
QString Distrust(const QByteArray& folder) {
    struct stat st = {};
    if (::lstat(folder.constData(), &st) != 0) {
        return QStringLiteral("cannot be examined (%1)").arg(ErrorText(errno));
    }
    if (!S_ISDIR(st.st_mode)) {
        return QStringLiteral("is not a folder");
    }
    if (st.st_uid != ::getuid()) {
        return QStringLiteral("belongs to another user");
    }
    if ((st.st_mode & 077) != 0) {
        return QStringLiteral("is open to other users");
    }
    return {};
}

// The folder for the socket: the runtime folder when it is private, otherwise one made for it in the
// temporary folder. Empty, with the reason in *problem, when neither can be trusted.
QString PrivateFolder(QString* problem) {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && Distrust(runtime).isEmpty()) {
        return QFile::decodeName(runtime);
    }
    QString tmp = qEnvironmentVariable("TMPDIR");
    if (tmp.isEmpty()) {
        tmp = QStringLiteral("/tmp");
    }
    const QString folder = QDir::cleanPath(tmp + QStringLiteral("/brenwick-%1").arg(::getuid()));
    const QByteArray encoded = QFile::encodeName(folder);
    // Made by us with no access for others, or left by an earlier copy: either way it is checked, since
    // another user may have made it first.
    if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST) {
        *problem = folder + QStringLiteral(": ") + ErrorText(errno);
        return {};
    }
    if (const QString why = Distrust(encoded); !why.isEmpty()) {
        *problem = folder + QLatin1Char(' ') + why;
        return {};
    }
    return folder;
}

// The socket's path for the program's name; empty, with the reason in *problem, without a private folder.
QString SocketPath(const QString& name, QString* problem) {
    const QString folder = PrivateFolder(problem);
    return folder.isEmpty() ? QString()
                            : folder + QStringLiteral("/%1-%2.instance").arg(name).arg(::getuid());
}

// The socket's address; false when the path is too long for one.
bool MakeAddress(const QByteArray& path, sockaddr_un* address) {
    *address = {};
    address->sun_family = AF_UNIX;
    if (path.size() >= static_cast<qsizetype>(sizeof address->sun_path)) {
        return false;
    }
    std::memcpy(address->sun_path, path.constData(), static_cast<size_t>(path.size()));
    return true;
}

bool IsOurSocket(const struct stat& st) {
    return S_ISSOCK(st.st_mode) && st.st_uid == ::getuid();
}

void RunWithoutTheRule(const QString& why) {
    std::fprintf(stderr, "brenwick: %s; this copy runs without looking for another one\n", qPrintable(why));
}

enum class Request { Incomplete, Raise, Other };

// Reads what has come on a non-blocking connection without waiting for more. The request is one line.
Request ReadRequest(int fd, QByteArray* bytes) {
    char buffer[kMaxRequest];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes->append(buffer, n);
            if (const qsizetype end = bytes->indexOf('\n'); end >= 0) {
                return bytes->first(end) == "raise" ? Request::Raise : Request::Other;
            }
            if (bytes->size() > kMaxRequest) {
                return Request::Other;
            }
        } else if (n < 0 && errno == EAGAIN) {
            return Request::Incomplete;
        } else if (n == 0 || errno != EINTR) {
            // The other copy is done sending (or the connection failed): a last line without its end counts.
            return *bytes == "raise" ? Request::Raise : Request::Other;
        }
    }
}

// A connection whose request has not all come yet: read as more comes, and closed once it is complete or
// when it takes too long. It deletes itself then.
class CPendingRequest : public QObject {
  public:
    CPendingRequest(UniqueFd fd, QByteArray bytes, std::function<void(bool raise)> done, QObject* parent)
        : QObject(parent), m_Fd(std::move(fd)), m_Bytes(std::move(bytes)),
          m_Notifier(m_Fd.Get(), QSocketNotifier::Read), m_Done(std::move(done)) {
        connect(&m_Notifier, &QSocketNotifier::activated, this, [this] {
            if (const Request request = ReadRequest(m_Fd.Get(), &m_Bytes); request != Request::Incomplete) {
                Finish(request == Request::Raise);
            }
        });
        QTimer::singleShot(kRequestMs, this, [this] { Finish(false); });
    }

  private:
    void Finish(bool raise) {
        if (!m_Fd.Valid()) {
            return;
        }
        m_Notifier.setEnabled(false);
        m_Fd.Reset();
        deleteLater();
        m_Done(raise); // last: what it sets off may reach anything
    }

    UniqueFd m_Fd;
    QByteArray m_Bytes;
    QSocketNotifier m_Notifier; // after the descriptor, so it goes first
    std::function<void(bool raise)> m_Done;
};

} // namespace

CSingleInstance::CSingleInstance(const QString& name, QObject* parent) : QObject(parent) {
    m_Path = SocketPath(name, &m_Problem);
}

CSingleInstance::~CSingleInstance() {
    if (!m_Listener.Valid()) {
        return;
    }
    // Only the socket this copy made (the bound socket keeps its file's number from being reused): a file put
    // there since, by a copy that took the name over or by anyone else, stays.
    const QByteArray path = QFile::encodeName(m_Path);
    struct stat st = {};
    if (::lstat(path.constData(), &st) == 0 && st.st_dev == m_Device && st.st_ino == m_Inode) {
        ::unlink(path.constData());
    }
}

QString CSingleInstance::ServerPathFor(const QString& name) {
    QString problem;
    return SocketPath(name, &problem);
}

CSingleInstance::Answer CSingleInstance::AskRunningCopy(QString* problem) const {
    const QByteArray path = QFile::encodeName(m_Path);
    struct stat st = {};
    if (::lstat(path.constData(), &st) != 0) {
        if (errno == ENOENT) {
            return Answer::Nobody;
        }
        *problem = m_Path + QStringLiteral(": ") + ErrorText(errno);
        return Answer::Refused;
    }
    // Only a socket of this user's is asked, or taken over.
    sockaddr_un address;
    if (!IsOurSocket(st) || !MakeAddress(path, &address)) {
        *problem = m_Path + QStringLiteral(" is not this user's socket");
        return Answer::Refused;
    }
    const UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    // Connecting waits while the other copy's queue is full, and sending while its buffer is: not for long.
    const timeval timeout = {kConnectMs / 1000, (kConnectMs % 1000) * 1000};
    if (!fd.Valid() || ::setsockopt(fd.Get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout) != 0) {
        *problem = ErrorText(errno);
        return Answer::Refused;
    }
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        switch (errno) {
        case ECONNREFUSED: // nobody listens: a copy that ended without removing its socket
            return Answer::Stale;
        case ENOENT: // removed since
            return Answer::Nobody;
        case EINTR:
            return Answer::Again;
        case EAGAIN: // its queue stayed full: a copy too busy to answer, whose socket stays
            *problem = m_Path + QStringLiteral(" does not answer");
            return Answer::Refused;
        default:
            *problem = m_Path + QStringLiteral(": ") + ErrorText(errno);
            return Answer::Refused;
        }
    }
    // The file is ours, but the process serving it need not be.
    ucred peer = {};
    socklen_t size = sizeof peer;
    if (::getsockopt(fd.Get(), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != ::getuid()) {
        *problem = m_Path + QStringLiteral(" is served by another user");
        return Answer::Refused;
    }
    constexpr size_t length = sizeof kRaise - 1;
    if (::send(fd.Get(), kRaise, length, MSG_NOSIGNAL) != static_cast<ssize_t>(length)) {
        return Answer::Again; // the copy ended meanwhile
    }
    return Answer::Raised;
}

bool CSingleInstance::Acquire() {
    if (m_Path.isEmpty()) {
        RunWithoutTheRule(QStringLiteral("no private folder for the socket: ") + m_Problem);
        return true;
    }
    QString problem;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        switch (AskRunningCopy(&problem)) {
        case Answer::Raised:
            return false;
        case Answer::Refused:
            RunWithoutTheRule(problem);
            return true;
        case Answer::Again:
            continue;
        case Answer::Stale:
            if (struct stat st = {};
                ::lstat(QFile::encodeName(m_Path).constData(), &st) == 0 && IsOurSocket(st)) {
                ::unlink(QFile::encodeName(m_Path).constData());
            }
            break;
        case Answer::Nobody:
            break;
        }
        const int error = Listen();
        if (error == 0) {
            return true;
        }
        if (error != EADDRINUSE) {
            RunWithoutTheRule(m_Path + QStringLiteral(": ") + ErrorText(error));
            return true;
        }
        // Another copy that started at the same moment took the name first: ask that one.
    }
    RunWithoutTheRule(m_Path + QStringLiteral(" neither answers nor can be taken"));
    return true;
}

int CSingleInstance::Listen() {
    const QByteArray path = QFile::encodeName(m_Path);
    sockaddr_un address;
    if (!MakeAddress(path, &address)) {
        return ENAMETOOLONG;
    }
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.Valid()) {
        return errno;
    }
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return errno;
    }
    struct stat st = {};
    if (::lstat(path.constData(), &st) != 0) {
        return errno;
    }
    if (::listen(fd.Get(), SOMAXCONN) != 0) {
        const int error = errno;
        ::unlink(path.constData()); // just made, in a folder only this user writes
        return error;
    }
    m_Device = st.st_dev;
    m_Inode = st.st_ino;
    m_Listener = std::move(fd);
    m_Acceptor = std::make_unique<QSocketNotifier>(m_Listener.Get(), QSocketNotifier::Read);
    connect(m_Acceptor.get(), &QSocketNotifier::activated, this, &CSingleInstance::AcceptPending);
    return 0;
}

void CSingleInstance::AcceptPending() {
    for (int turn = 0; turn < kAcceptsPerTurn; ++turn) {
        UniqueFd client(::accept4(m_Listener.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (client.Valid()) {
            Serve(std::move(client));
        } else if (errno == EAGAIN) {
            return;
        } else if (errno != EINTR && errno != ECONNABORTED && errno != EPROTO) {
            // Out of descriptors or memory (EMFILE, ENFILE, ENOBUFS, ENOMEM): the connection waits in the
            // queue and the server stays. A pause, so that a queue that cannot be taken does not spin.
            m_Acceptor->setEnabled(false);
            QTimer::singleShot(kPauseMs, this, [this] { m_Acceptor->setEnabled(true); });
            return;
        }
        // Otherwise that one connection failed; the next may not.
    }
}

void CSingleInstance::Serve(UniqueFd client) {
    // The request mostly comes with the connection: answered here, it need not be kept.
    QByteArray bytes;
    const Request request = ReadRequest(client.Get(), &bytes);
    if (request != Request::Incomplete) {
        client.Reset();
        if (request == Request::Raise) {
            emit RaiseRequested();
        }
        return;
    }
    if (m_Clients >= kMaxClients) {
        return; // closed as it goes
    }
    ++m_Clients;
    std::make_unique<CPendingRequest>(
        std::move(client), std::move(bytes),
        [this](bool raise) {
            --m_Clients;
            if (raise) {
                emit RaiseRequested();
            }
        },
        this)
        .release();
}

} // namespace brenwick::app
