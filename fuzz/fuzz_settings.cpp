// The settings store against arbitrary stored files. After reading:
//  - reading never fails and never changes the file;
//  - a write of one key reads back as written, and every other key keeps its value
//    (a write touches only its own line);
//  - the file as it was is kept as "<file>.damaged" when the store reported problems.
#include "base/Settings.h"
#include "fuzz/FuzzScratch.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QString>

#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QMap<QString, QString> Everything(const CSettingsStore& store) {
    QMap<QString, QString> all;
    for (const QString& section : store.Sections())
        for (const QString& key : store.Keys(section))
            all.insert(section + u'\n' + key, store.GetString(section, key, QStringLiteral("<none>")));
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const FuzzScratch scratch("fuzz_settings");
    static const QString path = scratch.Path("Corvane.ini");
    QFile::remove(path);
    QFile::remove(path + QStringLiteral(".damaged"));
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    {
        QFile file(path);
        Check(file.open(QIODevice::WriteOnly));
        Check(file.write(bytes) == bytes.size());
    }
    CSettingsStore store(path);
    const QStringList problems = store.Problems();
    const QMap<QString, QString> before = Everything(store);
    for (const SettingKey* key : Settings::All()) {
        if (key->isString) continue;
        const int value = store.Get(*key, InstanceKind::Main, key->intDefault);
        Check(key->InRange(value) || value == key->intDefault);
    }
    Check(Contents(path) == bytes);

    const QString written = QStringLiteral("fuzz \"value\", with; marks = \\ and\nbreaks");
    Check(store.WriteString(QStringLiteral("Fuzz"), QStringLiteral("Key"), written));
    Check(store.GetString(QStringLiteral("Fuzz"), QStringLiteral("Key"), QString()) == written);
    QMap<QString, QString> after = Everything(store);
    after.remove(QStringLiteral("Fuzz\nKey"));
    QMap<QString, QString> expected = before;
    expected.remove(QStringLiteral("Fuzz\nKey"));
    Check(after == expected);
    if (!problems.isEmpty()) Check(Contents(path + QStringLiteral(".damaged")) == bytes);
    return 0;
}
