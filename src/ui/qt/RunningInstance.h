// The running wizard's beacon: the first instance listens on a per-user local
// socket, and a second one, before it gives up, connects to ask the first to
// bring its window to the front.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

namespace tavrel::ui {

class RunningInstance : public QObject {
    Q_OBJECT
public:
    explicit RunningInstance(QObject* parent = nullptr);
    ~RunningInstance() override;

    // The user's runtime folder (XDG_RUNTIME_DIR), else one in the temporary
    // folder (TMPDIR): one wizard runs per user and folder, so a test that gives
    // its wizard folders of its own never meets the user's.
    static QString runtimeFolder();
    // The lock file whose holder is the running instance.
    static QString lockPath(const QString& runtimeFolder);
    // The socket's name: a file in the user's runtime folder.
    static QString socketName(const QString& runtimeFolder);

    // First instance: listens on name (replacing a stale socket left by a crash;
    // the caller holds the instance lock). Each connection calls onRaise.
    bool listen(const QString& name);
    std::function<void()> onRaise;

    // Second instance: asks the one listening on name to raise its window.
    static bool askToRaise(const QString& name);

private:
    QLocalServer* server_ = nullptr;
};

}  // namespace tavrel::ui
