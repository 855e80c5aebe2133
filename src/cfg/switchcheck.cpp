#include "switchcheck.h"

#include "common/errortrap.h"
#include "common/modmain.h"
#include "platform/textcodec.h"

#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <array>
#include <optional>

namespace switchCheck {

namespace {

// As the editor refuses larger files: a configuration is a few kilobytes, a list some more.
constexpr qint64 FileSizeLimit = 8 * 1024 * 1024;

// Switches that take a text (a folder, a file name): the list shows them without a range, as it
// shows yes/no switches.
const QStringList TextSwitches = {QStringLiteral("cdpath"), QStringLiteral("newgrfcfg")};

const QStringList OffWords = {QStringLiteral("no"), QStringLiteral("n"), QStringLiteral("off"), QStringLiteral("0")};

bool isOff(QStringView value)
{
    return OffWords.contains(value, Qt::CaseInsensitive);
}

bool isYesNo(QStringView value)
{
    static const QStringList onWords = {QStringLiteral("yes"), QStringLiteral("y"), QStringLiteral("on"), QStringLiteral("1")};
    return isOff(value) || onWords.contains(value, Qt::CaseInsensitive);
}

// The configuration and the list as the editor reads them (in the system's code page); a file
// larger than the limit is refused with an error.
QString readText(const QString &path)
{
    return TextCodec(modMain::state().AnsiCodePage).decode(modMain::readWholeFile(path, FileSizeLimit));
}

// Lines as TTDPatch reads them: a line feed ends one, a carriage return before it belongs to it.
QStringList linesOf(const QString &text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    return lines;
}

bool isAsciiLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

bool digitIn(QChar c, int base)
{
    const char16_t u = QChar::toLower(c.unicode());
    const int value = u >= u'0' && u <= u'9' ? u - u'0' : u >= u'a' && u <= u'f' ? u - u'a' + 10 : 99;
    return value < base;
}

// The configuration writes a few switches in another base than the list's decimal range: the
// description's "Default" then reads, in that base, as the list's default.
int baseOf(const Switch &entry)
{
    // The first "default " (in any letter case) that a number follows, in any base up to 16.
    const QString &text = entry.description;
    const QLatin1String word("default ");
    for (qsizetype at = text.indexOf(word, 0, Qt::CaseInsensitive); at >= 0;
         at = text.indexOf(word, at + 1, Qt::CaseInsensitive)) {
        const qsizetype start = at + word.size();
        qsizetype end = start < text.size() && text.at(start) == QLatin1Char('-') ? start + 1 : start;
        const qsizetype digits = end;
        while (end < text.size() && digitIn(text.at(end), 16))
            ++end;
        if (end == digits)
            continue;
        for (int base : {10, 16, 8, 4, 2}) {
            bool ok = false;
            if (QStringView(text).sliced(start, end - start).toLongLong(&ok, base) == entry.fallback && ok)
                return base;
        }
        return 10;
    }
    return 10;
}

// What separates the fields of a list line (the blanks of ASCII).
bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || (c.unicode() >= 9 && c.unicode() <= 13);
}

// A list line's fields, "-XX name min max default description": five runs of non-blanks apart by
// spaces, then after spaces the description, which may be missing; none when the line is no such
// line. The first field begins with '-', the name with a letter.
std::optional<std::array<QStringView, 6>> fieldsOf(QStringView line)
{
    std::array<QStringView, 6> fields;
    qsizetype at = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            if (i == 5 && at == line.size())
                break;
            if (at == line.size() || line.at(at) != QLatin1Char(' '))
                return std::nullopt;
            while (at < line.size() && line.at(at) == QLatin1Char(' '))
                ++at;
        }
        const qsizetype start = at;
        while (at < line.size() && (i == 5 || !isBlank(line.at(at))))
            ++at;
        if (at == start && i < 5)
            return std::nullopt;
        fields[i] = line.sliced(start, at - start);
    }
    if (!fields[0].startsWith(QLatin1Char('-')) || !isAsciiLetter(fields[1].front()))
        return std::nullopt;
    return fields;
}

std::optional<qint64> numberOf(QStringView field)
{
    bool ok = false;
    const qint64 value = field.toLongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

QString filled(int text, QStringView line, const Setting &setting)
{
    return QString(modMain::uiText(text))
        .replace(QLatin1String("#NAME#"), line.mid(setting.nameStart, setting.nameLength).toString())
        .replace(QLatin1String("#VALUE#"), line.mid(setting.valueStart, setting.valueLength).toString());
}

} // namespace

QString Switch::number(qint64 value) const
{
    return value < 0 ? QLatin1Char('-') + QString::number(-value, base) : QString::number(value, base);
}

SwitchList SwitchList::parse(const QString &text)
{
    SwitchList list;
    const QStringList lines = linesOf(text);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        // '-' where a switch has no letter or no range.
        const auto fields = fieldsOf(lines.at(i));
        if (!fields)
            continue;
        const auto &[letter, name, low, high, standard, description] = *fields;
        Switch entry;
        entry.name = name.toString();
        const bool noRange = low == QLatin1String("-") && high == QLatin1String("-") && standard == QLatin1String("-");
        if (!noRange) {
            const auto minimum = numberOf(low), maximum = numberOf(high), fallback = numberOf(standard);
            if (!minimum || !maximum || !fallback || *minimum > *maximum)
                continue;
            entry.ranged = true;
            entry.minimum = *minimum;
            entry.maximum = *maximum;
            entry.fallback = *fallback;
        }
        entry.description = description.trimmed().toString();
        entry.text = !entry.ranged && TextSwitches.contains(entry.name, Qt::CaseInsensitive);
        if (entry.ranged)
            entry.base = baseOf(entry);
        list.m_switches.insert(entry.name.toLower(), entry);
    }
    return list;
}

SwitchList SwitchList::fromFile(const QString &path)
{
    if (!modMain::fileExists(path))
        return {};
    return parse(readText(path));
}

SwitchList SwitchList::inFolder(const QString &folder)
{
    // A list that cannot be read is as good as none: the editor then behaves as without one.
    try {
        return fromFile(modMain::fileIgnoringCase(folder, QLatin1String(ListFileName)));
    } catch (const RuntimeError &) {
        return {};
    }
}

const Switch *SwitchList::find(QStringView name) const
{
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    const auto it = m_switches.constFind((dot < 0 ? name : name.left(dot)).toString().toLower());
    return it == m_switches.constEnd() ? nullptr : &*it;
}

QStringList SwitchList::names() const
{
    QStringList names;
    for (const Switch &entry : m_switches)
        names.append(entry.name);
    names.sort();
    return names;
}

Setting settingOf(QStringView line)
{
    Setting setting;
    qsizetype i = 0;
    while (i < line.size() && line.at(i).isSpace())
        ++i;
    if (i == line.size() || !isAsciiLetter(line.at(i)))
        return setting;
    setting.nameStart = i;
    while (i < line.size() && !line.at(i).isSpace() && line.at(i) != QLatin1Char('=') && line.at(i) != QLatin1Char(':'))
        ++i;
    setting.nameLength = i - setting.nameStart;
    setting.key = line.mid(setting.nameStart, setting.nameLength).toString().toLower();
    while (i < line.size() && line.at(i) == QLatin1Char(' '))
        ++i;
    if (i < line.size() && (line.at(i) == QLatin1Char('=') || line.at(i) == QLatin1Char(':')))
        ++i;
    while (i < line.size() && line.at(i) == QLatin1Char(' '))
        ++i;
    setting.valueStart = i;
    while (i < line.size() && !line.at(i).isSpace())
        ++i;
    setting.valueLength = i - setting.valueStart;
    return setting;
}

Verdict judge(const SwitchList &list, QStringView line, const Setting &setting)
{
    Verdict verdict;
    if (setting.key.isEmpty())
        return verdict;
    verdict.known = list.find(setting.key);
    if (!verdict.known) {
        verdict = {Kind::Unknown, nullptr, setting.nameStart, setting.nameLength};
        return verdict;
    }
    const QStringView value = line.mid(setting.valueStart, setting.valueLength);
    const Switch &known = *verdict.known;
    const bool bit = setting.key.contains(QLatin1Char('.'));
    Kind kind = Kind::None;
    if (value.isEmpty() || known.text) {
        kind = Kind::None;
    } else if (bit || !known.ranged) {
        kind = isYesNo(value) ? Kind::None : Kind::NotYesNo;
    } else if (!isOff(value)) {
        const QStringView digits = value.startsWith(QLatin1Char('-')) ? value.mid(1) : value;
        const bool number = !digits.isEmpty()
            && std::all_of(digits.begin(), digits.end(), [&known](QChar c) { return digitIn(c, known.base); });
        bool fits = false;
        const qint64 read = number ? value.toLongLong(&fits, known.base) : 0;
        if (!number)
            kind = Kind::NotNumber;
        else if (!fits || read < known.minimum || read > known.maximum)
            kind = Kind::OutOfRange;
    }
    verdict.kind = kind;
    verdict.start = setting.valueStart;
    verdict.length = setting.valueLength;
    return verdict;
}

QString message(const Verdict &verdict, QStringView line, const Setting &setting)
{
    switch (verdict.kind) {
    case Kind::None: break;
    case Kind::Unknown: return filled(188, line, setting);
    case Kind::OutOfRange:
        return filled(189, line, setting)
            .replace(QLatin1String("#MIN#"), verdict.known->number(verdict.known->minimum))
            .replace(QLatin1String("#MAX#"), verdict.known->number(verdict.known->maximum));
    case Kind::NotNumber: return filled(190, line, setting);
    case Kind::NotYesNo: return filled(191, line, setting);
    }
    return {};
}

QString repeatMessage(QStringView line, const Setting &setting, int earlierLine)
{
    return filled(192, line, setting).replace(QLatin1String("#LINE#"), QString::number(earlierLine));
}

QString description(const Switch &known)
{
    QString text = known.description;
    if (known.ranged)
        text += QLatin1Char('\n')
            + QString(modMain::uiText(193))
                  .replace(QLatin1String("#MIN#"), known.number(known.minimum))
                  .replace(QLatin1String("#MAX#"), known.number(known.maximum))
                  .replace(QLatin1String("#DEFAULT#"), known.number(known.fallback));
    else if (!known.text)
        text += QLatin1Char('\n') + modMain::uiText(194);
    return text;
}

QList<Finding> check(const SwitchList &list, const QStringList &lines)
{
    QList<Finding> findings;
    QHash<QString, int> firstSet;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        const Setting setting = settingOf(line);
        const Verdict verdict = judge(list, line, setting);
        const int number = int(i + 1);
        if (verdict.kind != Kind::None)
            findings.append({number, message(verdict, line, setting)});
        if (!verdict.known)
            continue;
        const auto earlier = firstSet.constFind(setting.key);
        if (earlier == firstSet.constEnd())
            firstSet.insert(setting.key, number);
        else
            findings.append({number, repeatMessage(line, setting, *earlier)});
    }
    return findings;
}

int checkCommand(const QString &configuration, const QString &listPath, QTextStream &out, QTextStream &err)
{
    const QString listFile = listPath.isEmpty()
        ? modMain::fileIgnoringCase(
            modMain::folderOf(QFileInfo(configuration).absoluteFilePath()), QLatin1String(ListFileName))
        : listPath;
    QString text;
    SwitchList list;
    QString reading = configuration;
    try {
        text = readText(configuration);
        reading = listFile;
        list = SwitchList::parse(readText(listFile));
    } catch (const RuntimeError &error) {
        err << reading << ": " << error.description << Qt::endl;
        return 2;
    }
    if (list.isEmpty()) {
        err << listFile << ": no switch list (run the patch with -!S to write one)" << Qt::endl;
        return 2;
    }
    const QStringList lines = linesOf(text);
    const QList<Finding> findings = check(list, lines);
    for (const Finding &finding : findings)
        out << configuration << ':' << finding.line << ": warning: " << finding.message << '\n';
    out.flush();
    return findings.isEmpty() ? 0 : 1;
}

} // namespace switchCheck
