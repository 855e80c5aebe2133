#include "platform/wineregistry.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>

#include <algorithm>
#include <utility>

namespace {

constexpr char signature[] = "WINE REGISTRY Version 2";
// FILETIME counts 100 ns steps since 1601; Wine writes it beside the seconds since 1970.
constexpr quint64 ticksPerMs = 10000;
constexpr quint64 ticksFrom1601To1970 = 116444736000000000ULL;

QString fold(QStringView text)
{
    QString folded = text.toString();
    for (QChar &c : folded) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(char16_t(c.unicode() + 0x20));
    }
    return folded;
}

QString normalized(const QString &key)
{
    return key.split(u'\\', Qt::SkipEmptyParts).join(u'\\');
}

// Wine lists a key after its parent and after the brothers that sort before it (names folded to
// lower case), which is the order of the paths compared part by part.
bool sortsBefore(const QString &folded, const QString &other)
{
    const QStringList a = folded.split(u'\\'), b = other.split(u'\\');
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}

QByteArrayView withoutLineEnd(QByteArrayView line)
{
    while (!line.isEmpty() && (line.back() == '\n' || line.back() == '\r'))
        line.chop(1);
    return line;
}

bool isBlank(QByteArrayView text)
{
    return text.trimmed().isEmpty();
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// One to `maxDigits` hex digits from `pos`; more digits than that is no number Wine wrote.
bool readHex(QByteArrayView text, qsizetype &pos, int maxDigits, quint32 &number)
{
    number = 0;
    int digits = 0;
    for (; pos < text.size() && hexDigit(text[pos]) >= 0; ++pos, ++digits)
        number = number * 16 + quint32(hexDigit(text[pos]));
    return digits >= 1 && digits <= maxDigits;
}

// Wine's escaped text from `pos` up to the unescaped `close`; false when the line ends first.
// Other bytes beyond ASCII are UTF-8, which Wine accepts as well.
bool unescape(QByteArrayView line, qsizetype &pos, char close, QString &out)
{
    while (pos < line.size()) {
        const char c = line[pos++];
        if (c == close)
            return true;
        if (uchar(c) >= 0x80) {
            qsizetype end = pos;
            while (end < line.size() && uchar(line[end]) >= 0x80)
                ++end;
            out += QString::fromUtf8(line.sliced(pos - 1, end - pos + 1));
            pos = end;
            continue;
        }
        if (c != '\\') {
            out += QLatin1Char(c);
            continue;
        }
        if (pos >= line.size())
            return false;
        const char e = line[pos++];
        switch (e) {
        case 'a': out += QChar(u'\a'); break;
        case 'b': out += QChar(u'\b'); break;
        case 'e': out += QChar(u'\x1b'); break;
        case 'f': out += QChar(u'\f'); break;
        case 'n': out += QChar(u'\n'); break;
        case 'r': out += QChar(u'\r'); break;
        case 't': out += QChar(u'\t'); break;
        case 'v': out += QChar(u'\v'); break;
        case 'x': {
            uint code = 0;
            int digits = 0;
            for (; digits < 4 && pos < line.size() && hexDigit(line[pos]) >= 0; ++digits)
                code = code * 16 + uint(hexDigit(line[pos++]));
            out += digits ? QChar(char16_t(code)) : QChar(u'x');
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                uint code = uint(e - '0');
                for (int digits = 1; digits < 3 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7'; ++digits)
                    code = code * 8 + uint(line[pos++] - '0');
                out += QChar(char16_t(code));
            } else {
                out += QLatin1Char(e);
            }
        }
    }
    return false;
}

// As Wine writes names and texts: everything beyond ASCII and the control characters escaped, a
// \x escape padded to four digits when a hex digit follows so that it reads back the same.
QByteArray escape(QStringView text, char open, char close)
{
    static constexpr char controls[] = ".......abtnvfr.............e....";
    QByteArray out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const char16_t next = i + 1 < text.size() ? text[i + 1].unicode() : u'\0';
        if (c > 127) {
            const bool hexFollows = next < 128 && hexDigit(char(next)) >= 0;
            out += "\\x" + QByteArray::number(c, 16).rightJustified(hexFollows ? 4 : 0, '0');
        } else if (c < 32) {
            if (controls[c] != '.')
                out.append('\\').append(controls[c]);
            else
                out += '\\' + QByteArray::number(c, 8).rightJustified(next >= u'0' && next <= u'7' ? 3 : 0, '0');
        } else {
            if (c == u'\\' || c == char16_t(open) || c == char16_t(close))
                out += '\\';
            out += char(c);
        }
    }
    return out;
}

QByteArray utf16(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(2 * text.size());
    for (const QChar c : text)
        bytes.append(char(c.unicode() & 0xff)).append(char(c.unicode() >> 8));
    return bytes;
}

// A value's data after its '=', its continuation lines joined.
QByteArray joinedData(const QByteArray &raw)
{
    const QList<QByteArray> pieces = raw.split('\n');
    QByteArray data;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        QByteArrayView piece = withoutLineEnd(pieces[i]);
        if (i > 0)
            piece = piece.trimmed();
        if (i + 1 < pieces.size() && !pieces[i + 1].isEmpty() && piece.endsWith('\\'))
            piece.chop(1);
        data += piece;
    }
    return data;
}

bool parseBytes(QByteArrayView text, QByteArray &bytes, QString &why)
{
    if (isBlank(text))
        return true;
    for (QByteArrayView byte : text.trimmed().toByteArray().split(',')) {
        if (byte.size() != 2 || hexDigit(byte[0]) < 0 || hexDigit(byte[1]) < 0) {
            why = QStringLiteral("a byte of hex data needs two hexadecimal digits");
            return false;
        }
        bytes.append(char(hexDigit(byte[0]) * 16 + hexDigit(byte[1])));
    }
    return true;
}

// Data as Wine writes it: "text", str(n):"text", dword:n, hex:bytes or hex(n):bytes.
bool parseData(const QByteArray &data, WineRegistry::Value &value, QString &why)
{
    qsizetype pos = 0;
    const auto typeCode = [&](qsizetype start, QByteArrayView after) {
        pos = start;
        if (!readHex(data, pos, 8, value.type) || !QByteArrayView(data).sliced(pos).startsWith(after))
            return false;
        pos += after.size();
        return true;
    };
    if (data.startsWith('"') || data.startsWith("str(")) {
        value.type = WineRegistry::String;
        if (data.startsWith('"'))
            pos = 1;
        else if (!typeCode(4, "):\"")) {
            why = QStringLiteral("str( needs a hexadecimal type and \"):\"");
            return false;
        }
        QString text;
        if (!unescape(data, pos, '"', text)) {
            why = QStringLiteral("the text has no closing quote");
            return false;
        }
        if (!isBlank(QByteArrayView(data).sliced(pos))) {
            why = QStringLiteral("something follows the closing quote");
            return false;
        }
        if (value.type == WineRegistry::String || value.type == WineRegistry::ExpandString)
            value.text = text;
        else
            value.bytes = utf16(text) + QByteArray(2, '\0');
        return true;
    }
    if (data.startsWith("dword:")) {
        value.type = WineRegistry::Dword;
        pos = 6;
        if (readHex(data, pos, 8, value.number) && isBlank(QByteArrayView(data).sliced(pos)))
            return true;
        why = QStringLiteral("a dword needs one to eight hexadecimal digits");
        return false;
    }
    if (data.startsWith("hex:") || data.startsWith("hex(")) {
        value.type = WineRegistry::Binary;
        pos = 4;
        if (data.startsWith("hex(") && !typeCode(4, "):")) {
            why = QStringLiteral("hex( needs a hexadecimal type and \"):\"");
            return false;
        }
        if (!parseBytes(QByteArrayView(data).sliced(pos), value.bytes, why))
            return false;
        if (value.type == WineRegistry::String || value.type == WineRegistry::ExpandString) {
            // Wine writes a text this way when it lacks its terminating NUL.
            for (qsizetype i = 0; i + 1 < value.bytes.size(); i += 2)
                value.text += QChar(char16_t(uchar(value.bytes[i]) | uchar(value.bytes[i + 1]) << 8));
            if (value.text.endsWith(QChar(u'\0')))
                value.text.chop(1);
        } else if (value.type == WineRegistry::Dword && value.bytes.size() == 4) {
            value.number = qFromLittleEndian<quint32>(value.bytes.constData());
        }
        return true;
    }
    why = QStringLiteral("unknown kind of data (expected \"text\", dword:, hex:, hex(n): or str(n):)");
    return false;
}

bool sameValue(const WineRegistry::Value &a, const WineRegistry::Value &b)
{
    return a.type == b.type && a.text == b.text && a.number == b.number && a.bytes == b.bytes;
}

} // namespace

std::optional<WineRegistry> WineRegistry::load(const QString &path, QString *error)
{
    const auto fail = [error](const QString &why) -> std::optional<WineRegistry> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("Cannot read the Wine registry %1: %2.").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(QStringLiteral("Cannot read the Wine registry %1: %2.").arg(path, file.errorString()));
    if (bytes.isEmpty())
        return fail(QStringLiteral("The Wine registry %1 is empty.").arg(path));

    QList<QByteArray> lines;
    for (qsizetype start = 0; start < bytes.size();) {
        const qsizetype end = bytes.indexOf('\n', start);
        const qsizetype next = end < 0 ? bytes.size() : end + 1;
        lines.append(bytes.mid(start, next - start));
        start = next;
    }
    const QByteArrayView first = withoutLineEnd(lines.first());
    if (first != signature) {
        return fail(QStringLiteral("%1 is not a Wine registry this program can read: line 1 reads \"%2\" instead of "
                                   "\"%3\".")
                        .arg(path, QString::fromUtf8(first.first(std::min<qsizetype>(first.size(), 60))),
                            QLatin1String(signature)));
    }
    // Wine ends every line; a last line without its end is the mark of a file cut short.
    if (!bytes.endsWith('\n')) {
        return fail(QStringLiteral("The Wine registry %1 ends in the middle of line %2; it looks cut short.")
                        .arg(path)
                        .arg(lines.size()));
    }

    WineRegistry registry;
    registry.m_path = path;
    registry.m_onDisk = bytes;
    const auto damaged = [&](qsizetype index, const QString &why) {
        return fail(
            QStringLiteral("The Wine registry %1 is damaged at line %2: %3.").arg(path).arg(index + 1).arg(why));
    };
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArrayView line = withoutLineEnd(lines[i]);
        if (line.startsWith('[')) {
            Key key;
            key.raw = lines[i];
            qsizetype pos = 1;
            if (!unescape(line, pos, ']', key.path))
                return damaged(i, QStringLiteral("the key name has no closing ']'"));
            key.nameEnd = pos;
            const QByteArrayView time = line.sliced(pos).trimmed();
            if (!std::all_of(time.begin(), time.end(), [](char c) { return c >= '0' && c <= '9'; }))
                return damaged(i, QStringLiteral("something other than a time follows the key name"));
            key.path = normalized(key.path);
            key.folded = fold(key.path);
            registry.m_keys.append(key);
            continue;
        }
        Line entry;
        entry.raw = lines[i];
        if (i == 0 || isBlank(line) || line.startsWith(';') || line.startsWith('#')) {
            if (line.startsWith("#time="))
                entry.kind = Line::Time;
            if (registry.m_keys.isEmpty() && line.startsWith("#arch="))
                registry.m_win64 = line == "#arch=win64";
        } else if (line.startsWith('"') || line.startsWith('@')) {
            if (registry.m_keys.isEmpty())
                return damaged(i, QStringLiteral("a value comes before the first key"));
            QString name;
            qsizetype pos = 1;
            if (line.startsWith('"') && !unescape(line, pos, '"', name))
                return damaged(i, QStringLiteral("the value name has no closing quote"));
            if (pos >= line.size() || line[pos] != '=')
                return damaged(i, QStringLiteral("'=' is missing after the value name"));
            entry.kind = Line::Value;
            entry.folded = fold(name);
            entry.dataStart = pos + 1;
            const qsizetype start = i;
            if (line.sliced(entry.dataStart).startsWith("hex")) {
                while (withoutLineEnd(lines[i]).endsWith('\\')) {
                    if (++i >= lines.size())
                        return damaged(start, QStringLiteral("its hex data goes on past the end of the file"));
                    entry.raw += lines[i];
                }
            }
            Value value;
            QString why;
            if (!parseData(joinedData(entry.raw.mid(entry.dataStart)), value, why))
                return damaged(start, why);
        } else {
            return damaged(i, QStringLiteral("it is neither a key, a value nor a comment"));
        }
        if (registry.m_keys.isEmpty())
            registry.m_header.append(entry.raw);
        else
            registry.m_keys.last().lines.append(entry);
    }
    return registry;
}

QString WineRegistry::path() const
{
    return m_path;
}

bool WineRegistry::is64Bit() const
{
    return m_win64;
}

QString WineRegistry::keyFor32BitProgram(const QString &key) const
{
    QStringList parts = key.split(u'\\', Qt::SkipEmptyParts);
    if (!m_win64 || parts.isEmpty() || fold(parts[0]) != QLatin1String("software")
        || (parts.size() > 1 && fold(parts[1]) == QLatin1String("wow6432node")))
        return parts.join(u'\\');
    parts.insert(1, QStringLiteral("Wow6432Node"));
    return parts.join(u'\\');
}

WineRegistry::Key *WineRegistry::findKey(const QString &key)
{
    return const_cast<Key *>(std::as_const(*this).findKey(key));
}

const WineRegistry::Key *WineRegistry::findKey(const QString &key) const
{
    const QString wanted = fold(normalized(key));
    const auto found = std::find_if(m_keys.begin(), m_keys.end(), [&](const Key &k) { return k.folded == wanted; });
    return found == m_keys.end() ? nullptr : &*found;
}

// Wine lists a key only when it has values or no subkeys; the others exist through their subkeys.
bool WineRegistry::hasKey(const QString &key) const
{
    const QString wanted = fold(normalized(key));
    const QString below = wanted + u'\\';
    return std::any_of(
        m_keys.begin(), m_keys.end(), [&](const Key &k) { return k.folded == wanted || k.folded.startsWith(below); });
}

void WineRegistry::createKey(const QString &key)
{
    if (!hasKey(key))
        ensureKey(key);
}

// Wine writes a new key under the parents it already has, in their spelling.
QString WineRegistry::spelledAsListed(const QString &path) const
{
    QStringList parts = path.split(u'\\');
    const QStringList folded = fold(path).split(u'\\');
    for (const Key &key : m_keys) {
        const QStringList listed = key.path.split(u'\\');
        const QStringList listedFolded = key.folded.split(u'\\');
        for (qsizetype i = 0; i < std::min(parts.size(), listed.size()) && folded[i] == listedFolded[i]; ++i)
            parts[i] = listed[i];
    }
    return parts.join(u'\\');
}

WineRegistry::Key &WineRegistry::ensureKey(const QString &path)
{
    if (Key *existing = findKey(path))
        return *existing;
    Key key;
    key.path = spelledAsListed(normalized(path));
    key.folded = fold(key.path);
    key.raw = '[' + escape(key.path, '[', ']') + ']';
    key.nameEnd = key.raw.size();
    key.raw += '\n';
    touch(key);
    // Wine separates keys by a blank line.
    Line blank;
    blank.raw = "\n";
    const qsizetype at = std::find_if(m_keys.begin(), m_keys.end(), [&](const Key &k) {
        return sortsBefore(key.folded, k.folded);
    }) - m_keys.begin();
    if (at < m_keys.size()) {
        key.lines.append(blank);
    } else if (m_keys.isEmpty()) {
        if (!isBlank(m_header.last()))
            m_header.append(blank.raw);
    } else if (m_keys.last().lines.isEmpty() || !isBlank(m_keys.last().lines.last().raw)) {
        m_keys.last().lines.append(blank);
    }
    m_keys.insert(at, key);
    return m_keys[at];
}

void WineRegistry::touch(Key &key)
{
    const qint64 ms = QDateTime::currentMSecsSinceEpoch();
    const quint64 ticks = quint64(ms) * ticksPerMs + ticksFrom1601To1970;
    const QByteArray end = key.raw.endsWith("\r\n") ? "\r\n" : "\n";
    key.raw = key.raw.left(key.nameEnd) + ' ' + QByteArray::number(ms / 1000) + end;
    const QByteArray time = "#time=" + QByteArray::number(ticks >> 32, 16)
        + QByteArray::number(quint32(ticks), 16).rightJustified(8, '0') + end;
    for (Line &line : key.lines) {
        if (line.kind == Line::Time) {
            line.raw = time;
            return;
        }
    }
    Line line;
    line.kind = Line::Time;
    line.raw = time;
    key.lines.prepend(line);
}

std::optional<WineRegistry::Value> WineRegistry::value(const QString &key, const QString &name) const
{
    const Key *found = findKey(key);
    if (!found)
        return std::nullopt;
    const QString wanted = fold(name);
    for (const Line &line : found->lines) {
        if (line.kind != Line::Value || line.folded != wanted)
            continue;
        Value value;
        QString why;
        if (!parseData(joinedData(line.raw.mid(line.dataStart)), value, why))
            return std::nullopt;
        return value;
    }
    return std::nullopt;
}

void WineRegistry::setString(const QString &key, const QString &name, const QString &text)
{
    Value value;
    value.type = String;
    value.text = text;
    setData(key, name, value, '"' + escape(text, '"', '"') + '"');
}

void WineRegistry::setDword(const QString &key, const QString &name, quint32 number)
{
    Value value;
    value.type = Dword;
    value.number = number;
    setData(key, name, value, "dword:" + QByteArray::number(number, 16).rightJustified(8, '0'));
}

// As Wine does, setting a value to what it already holds changes nothing, not even the key's time.
void WineRegistry::setData(const QString &keyPath, const QString &name, const Value &value, const QByteArray &data)
{
    Key &key = ensureKey(keyPath);
    const QString wanted = fold(name);
    qsizetype at = 0;
    for (qsizetype i = 0; i < key.lines.size(); ++i) {
        Line &line = key.lines[i];
        if (line.kind != Line::Value || line.folded != wanted) {
            if (line.kind != Line::Other || line.raw.startsWith('#'))
                at = i + 1;
            continue;
        }
        Value old;
        QString why;
        if (parseData(joinedData(line.raw.mid(line.dataStart)), old, why) && sameValue(old, value))
            return;
        line.raw = line.raw.left(line.dataStart) + data + (line.raw.contains("\r\n") ? "\r\n" : "\n");
        touch(key);
        return;
    }
    Line line;
    line.kind = Line::Value;
    line.folded = wanted;
    line.raw = name.isEmpty() ? QByteArray("@=") : QByteArray('"' + escape(name, '"', '"') + "\"=");
    line.dataStart = line.raw.size();
    line.raw += data + '\n';
    key.lines.insert(at, line);
    touch(key);
}

QByteArray WineRegistry::serialized() const
{
    QByteArray out;
    out.reserve(m_onDisk.size() + 1024);
    for (const QByteArray &line : m_header)
        out += line;
    for (const Key &key : m_keys) {
        out += key.raw;
        for (const Line &line : key.lines)
            out += line.raw;
    }
    return out;
}

bool WineRegistry::save(QString *error)
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error
                = QStringLiteral("Cannot save the Wine registry %1: %2. The file was left as it was.").arg(m_path, why);
        return false;
    };
    // A rename would replace a read-only file without asking; the owner made it read-only on purpose.
    const QFileInfo info(m_path);
    if (info.exists() && !info.isWritable())
        return fail(QStringLiteral("the file is read-only"));
    const QByteArray bytes = serialized();
    QSaveFile file(m_path);
    // commit() does not notice when the last buffered bytes fail to reach the disk (a full disk)
    // and would put the cut-short file in place, so both files are flushed before they commit.
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
        return fail(file.errorString());
    // Wine rewrites the whole file when its server exits; saving over that would undo its changes.
    QFile current(m_path);
    if (!current.open(QIODevice::ReadOnly) || current.readAll() != m_onDisk) {
        file.cancelWriting();
        return fail(QStringLiteral("another program changed or removed it since it was read"));
    }
    QSaveFile backup(m_path + QStringLiteral(".bak"));
    if (!backup.open(QIODevice::WriteOnly) || backup.write(m_onDisk) != m_onDisk.size() || !backup.flush()
        || !backup.commit()) {
        file.cancelWriting();
        return fail(
            QStringLiteral("cannot keep the previous file as %1.bak (%2)").arg(info.fileName(), backup.errorString()));
    }
    if (!file.commit())
        return fail(file.errorString());
    m_onDisk = bytes;
    return true;
}
