#include "control/Osc.h"

#include <lo/lo.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace Control {

std::optional<OscMessage> DecodeOsc(const QByteArray& datagram) {
    if (datagram.isEmpty() || datagram.size() > 65536) return std::nullopt;
    // liblo converts the arguments in place: it works on a copy.
    QByteArray copy = datagram;
    int result = 0;
    const lo_message message = lo_message_deserialise(copy.data(), size_t(copy.size()), &result);
    if (!message) return std::nullopt;
    const std::unique_ptr<std::remove_pointer_t<lo_message>, void (*)(lo_message)> owned(message, lo_message_free);
    OscMessage decoded;
    // The address is the datagram's first string, which the reader has checked.
    decoded.address = QString::fromUtf8(copy.constData());
    // An OSC address pattern begins with "/"; liblo reads any string as one.
    if (!decoded.address.startsWith(u'/')) return std::nullopt;
    const int count = lo_message_get_argc(message);
    const char* types = lo_message_get_types(message);
    lo_arg** values = lo_message_get_argv(message);  // only ever read by bytes
    for (int k = 0; k < count && types && types[k]; ++k) {
        // liblo packs the values at 4-byte steps: read them by bytes, not through
        // its union, whose 8-byte members would be misaligned.
        const char* value = reinterpret_cast<const char*>(values[k]);
        auto read = [value](auto& out) { std::memcpy(&out, value, sizeof out); };
        switch (types[k]) {
        case LO_INT32: {
            int32_t i = 0;
            read(i);
            decoded.arguments << QVariant(qlonglong(i));
            break;
        }
        case LO_INT64: {
            int64_t h = 0;
            read(h);
            decoded.arguments << QVariant(qlonglong(h));
            break;
        }
        case LO_FLOAT: {
            float f = 0;
            read(f);
            decoded.arguments << QVariant(double(f));
            break;
        }
        case LO_DOUBLE: {
            double d = 0;
            read(d);
            decoded.arguments << QVariant(d);
            break;
        }
        case LO_STRING:
        case LO_SYMBOL: decoded.arguments << QVariant(QString::fromUtf8(value)); break;
        case LO_TRUE: decoded.arguments << QVariant(true); break;
        case LO_FALSE: decoded.arguments << QVariant(false); break;
        default: decoded.arguments << QVariant(); break;
        }
    }
    return decoded;
}

QByteArray EncodeOsc(const QString& address, const QVariantList& arguments) {
    const lo_message message = lo_message_new();
    for (const QVariant& argument : arguments) {
        switch (argument.typeId()) {
        case QMetaType::Bool: argument.toBool() ? lo_message_add_true(message) : lo_message_add_false(message); break;
        case QMetaType::Int:
        case QMetaType::LongLong: lo_message_add_int32(message, int32_t(argument.toLongLong())); break;
        case QMetaType::Double:
        case QMetaType::Float: lo_message_add_double(message, argument.toDouble()); break;
        default: lo_message_add_string(message, argument.toString().toUtf8().constData()); break;
        }
    }
    const QByteArray path = address.toUtf8();
    size_t size = 0;
    void* bytes = lo_message_serialise(message, path.constData(), nullptr, &size);
    QByteArray datagram = bytes ? QByteArray(static_cast<const char*>(bytes), qsizetype(size)) : QByteArray();
    std::free(bytes);
    lo_message_free(message);
    return datagram;
}

}  // namespace Control
