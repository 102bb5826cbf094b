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
