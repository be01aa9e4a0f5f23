#pragma once
// One editor per user, as a double click in a file manager expects: a start
// with a file to open first hands the file to the user's running editor, which
// opens it in its window (the desktop's counterpart of a DDE open); only when
// none answers does the start go on with a window of its own, which then
// listens for the next ones. The channel is a local socket (on Windows a named
// pipe) in the user's own place (UserPlaces::InstanceChannelName), open to the
// user alone; a path is sent only to a listener that runs as the user. A request is one line, the
// file's absolute path percent-encoded; the answer "OK" comes as soon as the line is read, before
// the file opens, so a message box of the open never keeps the second start waiting.

#include <QObject>
#include <QString>
#include <functional>

class QLocalServer;

class CInstanceChannel : public QObject {
    Q_OBJECT
  public:
    explicit CInstanceChannel(QObject* parent = nullptr);
    ~CInstanceChannel() override;

    // Empty when there is no private place for the socket.
    static QString ServerName();
    // Hands `absolutePath` to the running editor; true when one took it.
    static bool Forward(const QString& absolutePath, int timeoutMs = 3000);
    // Takes the requests of later starts: `open` is called with each path, from
    // the event loop. False when the channel cannot be opened (the editor then
    // simply runs alone).
    bool Listen(std::function<void(const QString&)> open);

  private:
    void OnConnection();

    QLocalServer* m_pServer = nullptr;
    std::function<void(const QString&)> m_open;
};
