#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace brenwick::app {

// One copy of the program per user: the first copy listens on a local socket; a later copy finds it there,
// asks it to come to the front and ends.
class CSingleInstance : public QObject {
    Q_OBJECT

  public:
    // `name`: the program's file name; the socket lies in the user's runtime folder.
    explicit CSingleInstance(const QString& name, QObject* parent = nullptr);

    // True when this is the first copy (it now listens). False when another copy answered and was asked to
    // raise its window.
    bool Acquire();

    QString ServerPath() const { return m_Path; }
    static QString ServerPathFor(const QString& name);

  signals:
    void RaiseRequested();

  private:
    bool AskRunningCopy();
    void OnNewConnection();

    QString m_Path;
    QLocalServer m_Server;
};

} // namespace brenwick::app
