// One player per user. The first instance holds a lock file and listens on a socket, both in a
// folder that only its user may enter; a later instance finds the lock taken, connects, writes
// its file into the first instance's block and sends the stop and play-shared messages, each
// answered before the next, and ends. The kernel drops the lock of a killed instance, so what a
// crash leaves behind (the socket file) never keeps a later start from becoming the first.
//
// Threads: the main (user-interface) thread for every operation, except that a later instance's
// HandOver touches no Qt object and may run on any one thread. The receiver is called on the
// user-interface thread.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ipc/HandoffProtocol.h"
#include "ipc/SharedBlock.h"

class QLocalServer;
class QLocalSocket;

namespace zeblo {

// Waits, in milliseconds.
// Many instances started at once share the processor with the first one, whose toolkit and window
// then come up slowly: a later instance must not give its file up before they do.
inline constexpr int kStartWaitMs = 20000;   // for a first instance that holds the lock to listen
inline constexpr int kHeaderWaitMs = 20000;  // for the first instance's view to be ready
inline constexpr int kAnswerWaitMs = 30000;  // for one message to be acted on (a play start)

class SingleInstance final : public QObject, public SharedPathSource {
    Q_OBJECT
public:
    enum class Role { None, First, Later, CreateFailed, Closed };
    enum class HandOverResult { Delivered, Refused, NoAnswer };

    // `folder` holds the lock and the socket; the program uses DefaultFolder().
    explicit SingleInstance(std::string folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // $XDG_RUNTIME_DIR/zeblo-<uid>, or /tmp/zeblo-<uid> when there is no usable runtime folder.
    static std::string DefaultFolder();

    // Becomes the first instance (the lock is held), or finds the running one. A running instance
    // that holds the lock but does not listen yet is waited for at most `waitMs`. Needs no
    // application object, so a later instance ends before the toolkit starts.
    Role Start(int waitMs = kStartWaitMs);
    // First instance, once the application object exists: listens for later instances. On
    // failure the place is given up and the role becomes CreateFailed.
    bool Listen();
    Role role() const { return role_; }

    // Later instance: stores `path` at offset 20 of the first instance's block, then sends the
    // stop and the play-shared messages. A path that does not fit (FitsSharedPath) is refused
    // before anything is sent.
    HandOverResult HandOver(const std::string& path, int headerWaitMs = kHeaderWaitMs,
                            int answerWaitMs = kAnswerWaitMs);

    // First instance: the view exists. Writes the identification into the block and from now on
    // answers later instances; `receiver` acts on a message number and returns its result.
    void Serve(uint32_t identification, std::function<int32_t(uint32_t)> receiver);
    const SharedBlock& Block() const { return block_; }

    // Gives the first instance's place up so that a new process can take it (the restart).
    bool Close();
    // Takes the place again after Close (a restart that did not start) and serves the same
    // receiver; false when another process has taken it meanwhile.
    bool Reopen();

    std::optional<std::string> ReadSharedPath() const override;

    const std::string& folder() const { return folder_; }
    std::string SocketPath() const;
    std::string LockPath() const;

private:
    bool PrepareFolder() const;
    bool TryLock();
    void Unlock();
    int ConnectToFirst() const;
    void Accept();
    void Begin(QLocalSocket* socket);
    struct Connection {
        FrameReader reader;
        std::optional<std::string> path;
    };
    void ProcessFrames(QLocalSocket* socket, std::shared_ptr<Connection> connection);
    int32_t Act(Connection& connection, uint32_t kind, const std::string& payload);

    std::string folder_;
    Role role_ = Role::None;
    int lockFd_ = -1;
    int clientFd_ = -1;
    QLocalServer* server_ = nullptr;
    bool serving_ = false;
    std::function<int32_t(uint32_t)> receiver_;
    SharedBlock block_;
};

// The peer at the other end of a local socket runs as this process's user.
bool PeerIsSameUser(int socketFd);

}  // namespace zeblo
