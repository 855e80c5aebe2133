// Opening a 20,000-line configuration and a 2,000-line new-graphics list with colour coding on and
// a switch list to judge every line against, through the program's own opening path (the main
// window's documents: reading, decoding, the line rules, the coloured editors, the switch marks),
// against QPlainTextEdit::setPlainText of the same lines.
#include "benchsupport.h"
#include "testsupport.h"

#include "cfg/documents.h"
#include "cfg/editortext.h"
#include "cfg/switchmarks.h"
#include "shell/frmmain.h"

#include <QCoreApplication>
#include <QFile>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QTabWidget>

namespace {

constexpr int ConfigurationLines = 20000;
constexpr int ListLines = 2000;

// The non-blank lines of a demo file, repeated to `count` lines: real switches, comments and
// headings in their real proportions.
QStringList linesLike(const QString &demoFile, int count)
{
    QFile file(demoFile);
    if (!file.open(QIODevice::ReadOnly))
        bench::fail(QStringLiteral("cannot read %1").arg(demoFile));
    QStringList source;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QString text = QString::fromLatin1(line).trimmed();
        if (!text.isEmpty())
            source.append(text);
    }
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines.append(source.at(i % source.size()));
    return lines;
}

void writeLines(const QString &path, const QStringList &lines)
{
    writeBytes(path, (lines.join(QLatin1String("\r\n")) + QLatin1String("\r\n")).toLatin1());
}

// The benchmark itself; a failure on the way ends it through bench::fail.
int measure(GameSession &session)
{
    const QString configuration = session.folder + QStringLiteral("ttdpatch.cfg");
    const QStringList cfgLines = linesLike(configuration, ConfigurationLines);
    const QStringList listLines = linesLike(session.folder + QStringLiteral("newgrfw.cfg"), ListLines);
    writeLines(configuration, cfgLines);
    writeLines(session.folder + QStringLiteral("newgrfw.cfg"), listLines);
    bench::prepareReturningPlayer(session);
    bench::writeSwitchList(session);

    frmMain &window = session.main();
    QPlainTextEdit &cfgEditor = *window.controls().rtbPatch;
    QPlainTextEdit &listEditor = *window.controls().rtbGrf;

    // The baseline's editors sit in a shown window as the program's do: one on show, one behind it.
    QMainWindow plainWindow;
    auto *tabs = new QTabWidget(&plainWindow);
    auto *plainCfg = new QPlainTextEdit(tabs);
    auto *plainList = new QPlainTextEdit(tabs);
    for (QPlainTextEdit *editor : {plainCfg, plainList})
        editor->setLineWrapMode(QPlainTextEdit::NoWrap);
    tabs->addTab(plainCfg, QStringLiteral("cfg"));
    tabs->addTab(plainList, QStringLiteral("list"));
    plainWindow.setCentralWidget(tabs);
    plainWindow.resize(window.size());
    plainWindow.show();
    const QString cfgText = cfgLines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    const QString listText = listLines.join(QLatin1Char('\n')) + QLatin1Char('\n');

    auto openWithProgram = [&] {
        session.open(configuration);
        QCoreApplication::processEvents();
    };
    auto openWithBaseline = [&] {
        plainCfg->setPlainText(cfgText);
        plainList->setPlainText(listText);
        QCoreApplication::processEvents();
    };

    // One opening before timing: the files are read once into the disk cache, and the result is
    // checked, so that what is timed is an opening that works.
    openWithProgram();
    openWithBaseline();
    const QColor green(0, 128, 0);
    if (cfgEditor.document()->blockCount() != ConfigurationLines + 1
        || listEditor.document()->blockCount() != ListLines + 1
        || EditorText(cfgEditor).lineColour(cfgEditor.document()->firstBlock()) != green
        || !session.t.dialogs.prompts().isEmpty() || !window.documents().switchMarks().active())
        bench::fail(QStringLiteral("the program did not open the files as expected (%1 and %2 lines, %3 prompts)")
                        .arg(cfgEditor.document()->blockCount())
                        .arg(listEditor.document()->blockCount())
                        .arg(session.t.dialogs.prompts().size()));

    const int runs = bench::runs(7);
    const bench::Medians medians = bench::alternate(
        runs, [&] { return bench::timed(openWithProgram); }, [&] { return bench::timed(openWithBaseline); });
    return bench::reportAtMost(QStringLiteral("open"), medians, 3.0,
        QStringLiteral("20,000-line configuration + 2,000-line list, coloured, vs setPlainText; median of %1")
            .arg(runs));
}

} // namespace

int main(int argc, char *argv[])
{
    return bench::guardedWithProgram(argc, argv, measure);
}
