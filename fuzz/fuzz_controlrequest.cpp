// The network control's readers against arbitrary input. The first byte picks the
// reader: HTTP (method from bits, then the path up to the first newline, the rest as
// the body) or an OSC datagram decoded by liblo and read as a command. Every answer
// must be consistent: a command or a refusal with a 4xx status and a reason; a
// decoded OSC message has an address beginning with the datagram's first byte.
#include "control/ControlRequest.h"
#include "control/Osc.h"

#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckParsed(const Control::Parsed& parsed) {
    if (parsed.ok) return;
    Check(parsed.status >= 400 && parsed.status < 500);
    Check(!parsed.error.isEmpty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    if (data[0] & 1) {
        static const char* const methods[] = {"GET", "POST", "PUT", "DELETE"};
        const qsizetype newline = bytes.indexOf('\n');
        const QString path = QString::fromUtf8(newline < 0 ? bytes : bytes.left(newline));
        const QByteArray body = newline < 0 ? QByteArray() : bytes.mid(newline + 1);
        CheckParsed(Control::ParseHttp(methods[(data[0] >> 1) & 3], path, body));
        Control::PathBelow(QStringLiteral("/nonexistent-root"), path);
        Control::Authorized("token", body.left(64));
    } else {
        const std::optional<Control::OscMessage> message = Control::DecodeOsc(bytes);
        if (!message) return 0;
        Check(!message->address.isEmpty() && message->address.front() == u'/');
        CheckParsed(Control::ParseOsc(message->address, message->arguments));
    }
    return 0;
}
