// A Wine registry file (system.reg) loaded, written back unchanged, changed, saved and loaded again:
// lines not changed come back byte for byte, values read back as they were set, others stay.
#include "fuzzsupport.h"

#include "common/modmain.h"
#include "platform/wineregistry.h"

#include <QMap>
#include <QtEndian>

namespace {

using Value = std::optional<WineRegistry::Value>;

struct Place {
    QString key;
    QString name;
    // Names compare as the registry does: backslash runs are one, ASCII case is ignored.
    QString folded() const
    {
        QString result = key.split(QLatin1Char('\\'), Qt::SkipEmptyParts).join(QLatin1Char('\\')) + u'|' + name;
        for (QChar &c : result)
            c = c >= u'A' && c <= u'Z' ? QChar(char16_t(c.unicode() + 0x20)) : c;
        return result;
    }
};

QString describe(const Value &v)
{
    return v
        ? QStringLiteral("type %1 \"%2\" %3 [%4]")
              .arg(QString::number(v->type), v->text, QString::number(v->number), QString::fromLatin1(v->bytes.toHex()))
        : QStringLiteral("(none)");
}

// The keys and value names the input spells, taken plainly from its lines (escapes left as they
// are): the places the changes below are aimed at, and those that must not change.
QList<Place> placesIn(const QByteArray &bytes)
{
    QList<Place> places;
    QString key;
    for (const QByteArray &line : bytes.split('\n')) {
        if (line.startsWith('['))
            key = QString::fromUtf8(line.mid(1, line.indexOf(']') - 1));
        else if (line.startsWith('@'))
            places.append({key, QString()});
        else if (line.startsWith('"'))
            places.append({key, QString::fromUtf8(line.mid(1, line.indexOf('"', 1) - 1))});
        if (places.size() >= 16)
            break;
    }
    return places;
}

} // namespace

VEXAL_FUZZ_TARGET(wineregistry)
{
    const fuzzSupport::InputFile input(data, size, QStringLiteral("system.reg"));
    const QByteArray &bytes = input.bytes;
    const QString path = input.path();
    QString error;
    std::optional<WineRegistry> registry = WineRegistry::load(path, &error);
    // A refusal says why and leaves the file alone; a loaded file is written back as read.
    FUZZ_CHECK(registry ? error.isEmpty() && registry->serialized() == bytes : !error.isEmpty(), error);
    if (!registry) {
        FUZZ_CHECK(modMain::readWholeFile(path) == bytes, QStringLiteral("a refused file changed"));
        return 0;
    }
    // What each place must hold after: as read, unless a change below was aimed at it (the last one
    // wins). The changes aim at what the input holds and at names made of its bytes.
    QMap<QString, std::pair<Place, Value>> wanted;
    for (const Place &place : placesIn(bytes))
        wanted.insert(place.folded(), {place, registry->value(place.key, place.name)});
    const QByteArray tail = bytes.right(32);
    const QString text = QString(reinterpret_cast<const QChar *>(tail.constData()), tail.size() / 2);
    const QString slice = QString::fromLatin1(bytes.mid(bytes.size() / 2, 8));
    const quint32 number = bytes.size() >= 4 ? qFromLittleEndian<quint32>(bytes.constData() + bytes.size() - 4) : 0;
    const Place first = wanted.isEmpty() ? Place {QStringLiteral("Software\\Vexal Pro"), QStringLiteral("Text")}
                                         : wanted.first().first;
    const Place second {wanted.isEmpty() ? first.key : wanted.last().first.key, slice};
    const Place created {first.key + QStringLiteral("\\Fuzz\\") + slice, QString()};
    registry->setString(first.key, first.name, text);
    wanted.insert(first.folded(), {first, WineRegistry::Value {WineRegistry::String, text, 0, {}}});
    registry->setDword(second.key, second.name, number);
    wanted.insert(second.folded(), {second, WineRegistry::Value {WineRegistry::Dword, {}, number, {}}});
    registry->createKey(created.key);
    registry->setString(created.key, created.name, slice + text);
    wanted.insert(created.folded(), {created, WineRegistry::Value {WineRegistry::String, slice + text, 0, {}}});

    FUZZ_CHECK(registry->save(&error), error);
    const QByteArray saved = modMain::readWholeFile(path);
    // What came before the first key is never touched.
    const qsizetype header = bytes.startsWith('[') ? 0 : bytes.indexOf("\n[") + 1;
    FUZZ_CHECK(saved.startsWith(bytes.left(header > 0 ? header : bytes.size())), QStringLiteral("the header changed"));

    const std::optional<WineRegistry> reloaded = WineRegistry::load(path, &error);
    FUZZ_CHECK(reloaded && reloaded->serialized() == saved,
        QStringLiteral("the saved registry does not load as saved: ") + error);
    for (const auto &[place, value] : std::as_const(wanted)) {
        const Value read = reloaded->value(place.key, place.name);
        FUZZ_CHECK(describe(read) == describe(value),
            QStringLiteral("%1 reads %2 instead of %3").arg(place.folded(), describe(read), describe(value)));
    }
    return 0;
}
