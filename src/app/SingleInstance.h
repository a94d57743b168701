#pragma once

#include "base/UniqueFd.h"

#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <memory>
#include <sys/types.h>

namespace brenwick::app {

// One copy of the program per user: the first copy listens on a local socket; a later copy finds it there,
// asks it to come to the front and ends. The socket lies only in a folder that this user alone may enter,
// and only a socket of this user's, served by a process of this user's, is ever asked.
class CSingleInstance : public QObject {
    Q_OBJECT

  public:
    // The most connections from other copies kept open at once; more are closed at once.
    static constexpr int kMaxClients = 32;

    // `name`: the program's file name; the socket lies in the user's runtime folder, or in a private folder
    // made for it in the temporary folder.
    explicit CSingleInstance(const QString& name, QObject* parent = nullptr);
    ~CSingleInstance() override;
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // True when this is the first copy (it now listens), or when the rule cannot be kept safely (said once on
    // standard error). False when another copy answered and was asked to raise its window.
    bool Acquire();

    // Empty when there is no private folder for the socket.
    QString ServerPath() const { return m_Path; }
    // The path a copy of that name uses; the private folder in the temporary folder is made when needed.
    static QString ServerPathFor(const QString& name);

  signals:
    void RaiseRequested();

  private:
    enum class Answer { Raised, Nobody, Stale, Again, Refused };
    Answer AskRunningCopy(QString* problem) const;
    int Listen();
    void AcceptPending();
    void Serve(UniqueFd client);

    QString m_Path;
    QString m_Problem; // why there is no path
    UniqueFd m_Listener;
    std::unique_ptr<QSocketNotifier> m_Acceptor; // after the descriptor, so it goes first
    dev_t m_Device = 0;                          // the socket file this copy made
    ino_t m_Inode = 0;
    int m_Clients = 0;
};

} // namespace brenwick::app
