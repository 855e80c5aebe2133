// A Wine registry file (system.reg) loaded, written back unchanged, changed, saved and loaded again:
// lines not changed come back byte for byte, values read back as they were set, others stay.
#include "fuzzsupport.h"

#include "platform/wineregistry.h"

#include <QtEndian>

namespace {

struct Place {
    QString key;
    QString name;
};

struct Setting {
    Place place;
    WineRegistry::Value value;
};

// Key and value names compare as the registry does: backslash runs are one, ASCII case is ignored.
QString folded(const QString &text)
{
    QString result = text.split(QLatin1Char('\\'), Qt::SkipEmptyParts).join(QLatin1Char('\\'));
    for (QChar &c : result) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(char16_t(c.unicode() + 0x20));
    }
    return result;
}

bool samePlace(const Place &a, const Place &b)
{
    return folded(a.key) == folded(b.key) && folded(a.name) == folded(b.name);
}

bool sameValue(const std::optional<WineRegistry::Value> &a, const std::optional<WineRegistry::Value> &b)
{
    if (!a || !b)
        return !a && !b;
    return a->type == b->type && a->text == b->text && a->number == b->number && a->bytes == b->bytes;
}

QString describe(const std::optional<WineRegistry::Value> &value)
{
    if (!value)
        return QStringLiteral("(none)");
    return QStringLiteral("type %1 \"%2\" %3 [%4]")
        .arg(value->type)
        .arg(value->text)
        .arg(value->number)
        .arg(QString::fromLatin1(value->bytes.toHex()));
}

// The keys and value names the input spells, taken plainly from its lines (escapes left as they
// are): the places the changes below are aimed at, and those that must not change.
QList<Place> placesIn(const QByteArray &bytes)
{
    QList<Place> places;
    QString key;
    for (const QByteArray &line : bytes.split('\n')) {
        if (line.startsWith('[')) {
            const qsizetype close = line.indexOf(']');
            key = QString::fromUtf8(line.mid(1, close < 0 ? -1 : close - 1));
        } else if (line.startsWith('@')) {
            places.append({key, QString()});
        } else if (line.startsWith('"')) {
            const qsizetype close = line.indexOf('"', 1);
            places.append({key, QString::fromUtf8(line.mid(1, close < 0 ? -1 : close - 1))});
        }
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
    if (!registry) {
        // A refusal says why and leaves the file alone.
        FUZZ_CHECK(!error.isEmpty(), QStringLiteral("refused without a reason"));
        FUZZ_CHECK(fuzzSupport::readFile(path) == bytes, QStringLiteral("a refused file changed"));
        return 0;
    }
    FUZZ_CHECK(error.isEmpty(), error);
    FUZZ_CHECK(registry->serialized() == bytes, QStringLiteral("an unchanged registry is not written back as read"));

    const QList<Place> places = placesIn(bytes);
    QList<std::optional<WineRegistry::Value>> before;
    for (const Place &place : places)
        before.append(registry->value(place.key, place.name));

    // The changes, aimed at what the input holds and at names made of its bytes.
    const QByteArray tail = bytes.right(32);
    const QString text = QString(reinterpret_cast<const QChar *>(tail.constData()), tail.size() / 2);
    const QString slice = QString::fromLatin1(bytes.mid(bytes.size() / 2, 8));
    quint32 number = 0;
    if (bytes.size() >= 4)
        number = qFromLittleEndian<quint32>(bytes.constData() + bytes.size() - 4);
    const Place first = places.value(0, {QStringLiteral("Software\\Vexal Pro"), QStringLiteral("Text")});
    const Place second {places.value(1, first).key, slice};
    const Place created {first.key + QStringLiteral("\\Fuzz\\") + slice, QString()};

    QList<Setting> settings;
    const auto setString = [&](const Place &place, const QString &value) {
        registry->setString(place.key, place.name, value);
        WineRegistry::Value v;
        v.type = WineRegistry::String;
        v.text = value;
        settings.append({place, v});
    };
    setString(first, text);
    registry->setDword(second.key, second.name, number);
    WineRegistry::Value dword;
    dword.type = WineRegistry::Dword;
    dword.number = number;
    settings.append({second, dword});
    registry->createKey(created.key);
    setString(created, slice + text);

    FUZZ_CHECK(registry->save(&error), error);
    const QByteArray saved = fuzzSupport::readFile(path);
    FUZZ_CHECK(saved == registry->serialized(), QStringLiteral("the saved file is not what serialized() gives"));
    FUZZ_CHECK(fuzzSupport::readFile(path + QStringLiteral(".bak")) == bytes,
        QStringLiteral("the backup is not the file as read"));
    // What came before the first key is never touched.
    const qsizetype header = bytes.startsWith('[') ? 0 : bytes.indexOf("\n[") + 1;
    FUZZ_CHECK(saved.startsWith(bytes.left(header > 0 ? header : bytes.size())), QStringLiteral("the header changed"));

    std::optional<WineRegistry> reloaded = WineRegistry::load(path, &error);
    FUZZ_CHECK(reloaded, QStringLiteral("the saved registry does not load again: ") + error);
    FUZZ_CHECK(reloaded->serialized() == saved, QStringLiteral("the saved registry is not written back as read"));
    FUZZ_CHECK(reloaded->hasKey(created.key), QStringLiteral("the created key is gone"));

    // The last setting of each place is what reads back.
    for (qsizetype i = 0; i < settings.size(); ++i) {
        bool overridden = false;
        for (qsizetype later = i + 1; later < settings.size(); ++later)
            overridden = overridden || samePlace(settings.at(later).place, settings.at(i).place);
        if (overridden)
            continue;
        const Setting &setting = settings.at(i);
        const std::optional<WineRegistry::Value> read = reloaded->value(setting.place.key, setting.place.name);
        FUZZ_CHECK(sameValue(read, setting.value),
            QStringLiteral("[%1] \"%2\" reads back %3 instead of %4")
                .arg(setting.place.key, setting.place.name, describe(read), describe(setting.value)));
    }
    for (qsizetype i = 0; i < places.size(); ++i) {
        const bool changed = std::any_of(settings.begin(), settings.end(),
            [&](const Setting &setting) { return samePlace(setting.place, places.at(i)); });
        if (changed)
            continue;
        const std::optional<WineRegistry::Value> after = reloaded->value(places.at(i).key, places.at(i).name);
        FUZZ_CHECK(sameValue(before.at(i), after),
            QStringLiteral("[%1] \"%2\" was %3 and is now %4")
                .arg(places.at(i).key, places.at(i).name, describe(before.at(i)), describe(after)));
    }

    // Setting a value to what it holds changes nothing, not even the key's time (when no setting
    // above replaced another, each is still what its place holds).
    bool distinct = true;
    for (qsizetype i = 0; i < settings.size(); ++i) {
        for (qsizetype j = i + 1; j < settings.size(); ++j)
            distinct = distinct && !samePlace(settings.at(i).place, settings.at(j).place);
    }
    if (distinct) {
        reloaded->setString(first.key, first.name, text);
        reloaded->setDword(second.key, second.name, number);
        reloaded->setString(created.key, created.name, slice + text);
        FUZZ_CHECK(reloaded->serialized() == saved, QStringLiteral("setting the same values changed the file"));
    }
    return 0;
}
