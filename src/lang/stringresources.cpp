#include "stringresources.h"

#include <QFile>
#include <QStringList>

namespace {

QString unescape(QStringView raw, bool *ok)
{
    QString text;
    text.reserve(raw.size() + 8);
    *ok = true;
    // The runs between escapes are copied whole: the tables of all languages are read at every start.
    qsizetype from = 0;
    for (qsizetype i = raw.indexOf(u'\\'); i >= 0; i = raw.indexOf(u'\\', from)) {
        text += raw.sliced(from, i - from);
        if (i + 1 >= raw.size()) {
            *ok = false;
            return text;
        }
        const QChar escaped = raw.at(i + 1);
        switch (escaped.unicode()) {
        case 'n': text += QLatin1String("\r\n"); break;
        case 't': text += QLatin1Char('\t'); break;
        case '\\': text += QLatin1Char('\\'); break;
        default:
            *ok = false;
            text += escaped;
            break;
        }
        from = i + 2;
    }
    text += raw.sliced(from);
    return text;
}

} // namespace

const StringResources &StringResources::builtIn()
{
    static const StringResources resources = withEnglish(QStringLiteral(":/lang"), nullptr);
    return resources;
}

StringResources StringResources::withEnglish(const QString &folder, QStringList *problems)
{
    StringResources resources;
    resources.m_folder = folder;
    resources.readFile(QStringLiteral("english"), 0, problems);
    return resources;
}

void StringResources::readLanguage(int k) const
{
    // Block 0 is English and the language names, read first.
    if (k <= 0 || m_folder.isEmpty() || m_languagesRead.contains(k))
        return;
    m_languagesRead.insert(k);
    const QString name = m_strings.value(600 + k);
    if (!name.isEmpty())
        readFile(name.toLower(), k * 1000, nullptr);
}

void StringResources::readFile(const QString &name, int blockBase, QStringList *problems) const
{
    QFile file(m_folder + QLatin1Char('/') + name + QLatin1String(".txt"));
    if (!file.open(QIODevice::ReadOnly)) {
        if (problems)
            problems->append(file.fileName() + QLatin1String(": cannot be read"));
        return;
    }
    m_strings.insert(parse(file.readAll(), blockBase, problems));
}

std::optional<QString> StringResources::string(int id) const
{
    readLanguage(id / 1000);
    const auto it = m_strings.constFind(id);
    if (it == m_strings.constEnd())
        return std::nullopt;
    return *it;
}

void StringResources::set(int id, const QString &text)
{
    // The language first, so that reading it later cannot undo the change.
    readLanguage(id / 1000);
    m_strings.insert(id, text);
}

void StringResources::remove(int id)
{
    readLanguage(id / 1000);
    m_strings.remove(id);
}

QHash<int, QString> StringResources::parse(const QByteArray &data, int blockBase, QStringList *problems)
{
    QHash<int, QString> strings;
    const QString text = QString::fromUtf8(data);
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype lineNo = 0; lineNo < lines.size(); ++lineNo) {
        QStringView line = lines.at(lineNo);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        // Editors leave blanks on empty lines; such a line is still an empty line, not a bad one.
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        bool numberOk = false;
        const int number = tab > 0 ? line.left(tab).toInt(&numberOk) : 0;
        bool textOk = false;
        const QString value = numberOk ? unescape(line.mid(tab + 1), &textOk) : QString();
        if (!numberOk || !textOk || strings.contains(blockBase + number)) {
            if (problems)
                problems->append(QStringLiteral("line %1: %2").arg(lineNo + 1).arg(line.toString()));
            continue;
        }
        strings.insert(blockBase + number, value);
    }
    return strings;
}

StringResources StringResources::load(const QString &folder, QStringList *problems)
{
    StringResources resources = withEnglish(folder, problems);
    const int count = resources.m_strings.value(650).toInt();
    for (int k = 1; k < count; ++k) {
        const QString name = resources.m_strings.value(600 + k);
        if (!name.isEmpty())
            resources.readFile(name.toLower(), k * 1000, problems);
        resources.m_languagesRead.insert(k);
    }
    return resources;
}
