// OSC datagrams read with liblo: the address and the arguments as toolkit values.
// A datagram liblo does not accept as one message (a bundle, a damaged or
// truncated one) gives nothing.
//
// Threads: any.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantList>

#include <optional>

namespace Control {

struct OscMessage {
    QString address;
    QVariantList arguments;  // int32/int64 as qlonglong, float/double as double, strings and symbols as QString,
                             // true/false as bool; other types as null
};

std::optional<OscMessage> DecodeOsc(const QByteArray& datagram);
// One message with the arguments (int, double, bool, string), for clients and tests.
QByteArray EncodeOsc(const QString& address, const QVariantList& arguments);

}  // namespace Control
