#include "fuzzsupport.h"

#include "cfg/editortext.h"
#include "common/errortrap.h"
#include "common/modmain.h"
#include "platform/textcodec.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QPalette>
#include <QPlainTextEdit>
#include <QTextBlock>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace fuzzSupport {

namespace {

QMap<QString, Entry> &registry()
{
    static QMap<QString, Entry> targets;
    return targets;
}

// Lives until exit, so a normal end removes it; after an abort it stays for a look.
std::unique_ptr<QTemporaryDir> g_tempRoot;
// libFuzzer ends the process with exit() from inside its own loop, after which Qt can no longer
// destroy an application object; kept reachable instead (fuzz/lsan.supp covers fontconfig's caches).
int g_argc = 0;
QApplication *g_application = nullptr;

// Colouring is one cursor per line; past this many lines the editor's text is still compared whole.
constexpr int ColourCheckedLines = 256;

// A line end is a CR with the LF after it, if any; what follows the last CR is a line when not empty.
void checkSplit(const QString &text, const QStringList &split)
{
    FUZZ_CHECK(split.join(QString()) == QString(text).remove(QLatin1String("\r\n")).remove(QLatin1Char('\r')),
        QStringLiteral("splitLines lost or added characters"));
    const qsizetype lastCr = text.lastIndexOf(QLatin1Char('\r'));
    qsizetype tail = lastCr + 1;
    if (lastCr >= 0 && tail < text.size() && text.at(tail) == QLatin1Char('\n'))
        ++tail;
    const qsizetype expected = text.count(QLatin1Char('\r')) + (tail < text.size() ? 1 : 0);
    FUZZ_CHECK(
        split.size() == expected, QStringLiteral("%1 lines where the ends make %2").arg(split.size()).arg(expected));
}

// Every line kept is a non-blank line of the file without its outer blanks, in order, and every
// non-blank line of the file is there; blank lines kept are empty.
void checkNonBlankLinesKept(const QStringList &split, const QStringList &kept)
{
    qsizetype next = 0;
    const auto skipEmpty = [&] {
        while (next < kept.size() && kept.at(next).isEmpty())
            ++next;
    };
    for (const QString &line : split) {
        if (isBlankLine(line))
            continue;
        skipEmpty();
        FUZZ_CHECK(next < kept.size(), QStringLiteral("a line with text was dropped: \"%1\"").arg(line));
        const QString &mine = kept.at(next++);
        const qsizetype lead = line.indexOf(mine);
        FUZZ_CHECK(!mine.startsWith(QLatin1Char(' ')) && !mine.endsWith(QLatin1Char(' ')) && lead >= 0
                && isBlankLine(line.left(lead)) && isBlankLine(line.mid(lead + mine.size())),
            QStringLiteral("\"%1\" is not \"%2\" without its outer blanks").arg(mine, line));
    }
    skipEmpty();
    FUZZ_CHECK(next == kept.size(), QStringLiteral("a line with text was added: \"%1\"").arg(kept.value(next)));
}

void checkEditor(const QStringList &lines, cfgRules::LineKind (*kindOf)(QStringView))
{
    QPlainTextEdit editor;
    EditorText text(editor);
    text.setLines(lines, [kindOf](const QString &line) { return cfgRules::colourOf(kindOf(line)); });
    // Each line is followed by a line break; saving the editor must give back exactly what it got.
    FUZZ_CHECK(text.text() == (lines.isEmpty() ? QString() : lines.join(QLatin1String("\r\n")) + QLatin1String("\r\n")),
        QStringLiteral("the editor's text is not its lines"));
    FUZZ_CHECK(editor.document()->blockCount() == lines.size() + 1, QStringLiteral("one block a line"));
    const QColor textColour = editor.palette().color(QPalette::Text);
    QTextBlock block = editor.document()->firstBlock();
    for (qsizetype i = 0; i < lines.size() && i < ColourCheckedLines; ++i, block = block.next()) {
        const QColor wanted = cfgRules::colourOf(kindOf(lines.at(i)));
        FUZZ_CHECK(text.lineColour(block) == (wanted.isValid() ? wanted : textColour),
            QStringLiteral("line %1 shows %2 instead of %3").arg(i).arg(text.lineColour(block).name(), wanted.name()));
    }
}

} // namespace

Registration::Registration(const char *name, Entry entry)
{
    registry().insert(QString::fromLatin1(name), entry);
}

Entry entry(const QString &name)
{
    return registry().value(name, nullptr);
}

QStringList names()
{
    return registry().keys();
}

void start(int *argc, char ***argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The replay program makes its own on the stack; libFuzzer's main leaves it to us.
    if (!QCoreApplication::instance()) {
        g_argc = *argc;
        g_application = new QApplication(g_argc, *argv);
    }
    g_tempRoot = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/vexal-fuzz-XXXXXX"));
    if (!g_tempRoot->isValid())
        fail(__FILE__, __LINE__, QStringLiteral("cannot make a temporary folder: ") + g_tempRoot->errorString());
    qputenv("TMPDIR", QFile::encodeName(g_tempRoot->path()));
}

void finishInput(const char *target)
{
    const QStringList left
        = QDir(g_tempRoot->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    FUZZ_CHECK(left.isEmpty(), QStringLiteral("%1 left %2 behind").arg(QLatin1String(target), left.join(u", ")));
}

void fail(const char *file, int line, const QString &why)
{
    std::fprintf(stderr, "\nbroken invariant at %s:%d: %s\n", file, line, why.toLocal8Bit().constData());
    std::fflush(stderr);
    // Kept for the post-mortem: what was written may be the evidence.
    if (g_tempRoot)
        g_tempRoot->setAutoRemove(false);
    std::abort();
}

QByteArray readFile(const QString &path)
{
    try {
        return modMain::readWholeFile(path);
    } catch (const RuntimeError &error) {
        fail(__FILE__, __LINE__, QStringLiteral("cannot read %1: %2").arg(path, error.description));
    }
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    try {
        modMain::writeWholeFile(path, bytes);
    } catch (const RuntimeError &error) {
        fail(__FILE__, __LINE__, QStringLiteral("cannot write %1: %2").arg(path, error.description));
    }
}

InputFile::InputFile(const std::uint8_t *data, std::size_t size, const QString &name)
    : bytes(bytesOf(data, size))
    , m_path(m_dir.filePath(name))
{
    FUZZ_CHECK(m_dir.isValid(), m_dir.errorString());
    writeFile(m_path, bytes);
}

bool isBlankLine(const QString &line)
{
    return std::all_of(line.cbegin(), line.cend(), [](QChar c) { return c == QLatin1Char(' '); });
}

Reading read(
    const QByteArray &bytes, QStringList (*linesOf)(const QStringList &), cfgRules::LineKind (*kindOf)(QStringView))
{
    const TextCodec codec(QStringLiteral("1252"));
    const QString text = codec.decode(bytes);
    // A file opened and saved without edits has to come back byte for byte.
    FUZZ_CHECK(codec.encode(text) == bytes && text.size() == bytes.size(),
        QStringLiteral("code page 1252 does not give the bytes back"));
    Reading reading;
    reading.split = cfgRules::splitLines(text);
    checkSplit(text, reading.split);
    reading.lines = linesOf(reading.split);
    checkNonBlankLinesKept(reading.split, reading.lines);
    checkEditor(reading.lines, kindOf);
    return reading;
}

} // namespace fuzzSupport
