#include "remote/RemoteEvents.h"

#include "base/Debug.h"

namespace Remote {

LogSink DefaultLog() {
    return [](int level, const QString& line) { CDebug::Global().Write(level, "%s", {FormatArg(line)}); };
}

}  // namespace Remote
