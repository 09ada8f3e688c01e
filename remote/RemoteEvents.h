// What the remote inputs share: how an event reaches the user-interface thread,
// and where their diagnostic lines go.
//
// Threads: Post may be called from any thread; the handler runs on the thread of
// the receiver, in the order of the Post calls.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace Remote {

// A diagnostic line already formatted, with its level (the project's log takes it
// by default; tests catch the lines instead).
using LogSink = std::function<void(int level, const QString& line)>;

// The project's log.
LogSink DefaultLog();

// Hands calls to a receiver's thread through its event queue, never directly, so
// they run there in the order they were posted. Without a receiver or a handler
// calls are dropped. The receiver must outlive every sender that holds the target.
template <class... Args>
class EventTarget {
public:
    using Handler = std::function<void(Args...)>;

    EventTarget() = default;
    EventTarget(QObject* receiver, Handler handler) : receiver_(receiver), handler_(std::move(handler)) {}

    bool Connected() const { return receiver_ != nullptr && handler_ != nullptr; }

    void Post(Args... args) const {
        if (!Connected()) return;
        // The handler is copied into the call, so the target may go before the call runs.
        QMetaObject::invokeMethod(
            receiver_, [handler = handler_, args...] { handler(args...); }, Qt::QueuedConnection);
    }

private:
    QObject* receiver_ = nullptr;
    Handler handler_;
};

}  // namespace Remote
