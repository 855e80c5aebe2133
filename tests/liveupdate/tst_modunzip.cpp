#include "common/modmain.h"
#include "liveupdate/modunzip.h"
#include "testsupport.h"
#include "zipbuilder.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>

#include <zip.h>

#include <algorithm>
#include <memory>
#include <vector>

#include <sys/stat.h>

namespace {

enum Patch { NoPatch, LieAboutSize, BreakCrc, Truncate, Implode };

constexpr qint64 MB = 1024 * 1024;
const QByteArray &Password = zipPassword;

void patchField(QByteArray &zip, int localOffset, quint32 value)
{
    const qsizetype central = zip.indexOf(QByteArray("PK\x01\x02", 4));
    for (qsizetype at : {qsizetype(localOffset), central + localOffset + 2}) {
        for (int i = 0; i < 4; ++i)
            zip[at + i] = char((value >> (8 * i)) & 0xFF);
    }
}

void patchArchive(const QString &path, Patch patch)
{
    QByteArray zip = readBytes(path);
    if (patch == LieAboutSize)
        patchField(zip, 22, 1000);
    else if (patch == BreakCrc)
        patchField(zip, 14, 0x12345678);
    else if (patch == Truncate)
        zip.truncate(zip.size() * 6 / 10);
    else if (patch == Implode)
        patchField(zip, 8, 6); // a compression method of the 1990s that nothing unpacks any more
    if (patch != NoPatch)
        writeBytes(path, zip);
}

// Every file, folder and link below `root` outside `skip`, with file contents.
QMap<QString, QByteArray> listing(const QString &root, const QString &skip)
{
    QMap<QString, QByteArray> found;
    QDirIterator it(
        root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString relative = QDir(root).relativeFilePath(info.filePath());
        if (relative == skip || relative.startsWith(skip + QLatin1Char('/')))
            continue;
        found.insert(relative,
            info.isSymLink()   ? "link:" + info.symLinkTarget().toUtf8()
                : info.isDir() ? "dir"
                               : readBytes(info.filePath()));
    }
    return found;
}

} // namespace

Q_DECLARE_METATYPE(Entries)

class TestModUnzip : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<RecordingShell> m_shell;
    QStringList m_log;
    int m_versionChecks = 0;
    QString game() const { return m_dir->filePath(QStringLiteral("game")) + QLatin1Char('/'); }
    QString archive() const { return game() + QStringLiteral("release.zip"); }

    int unzip()
    {
        modUnzip::Host host {*m_dialogs, *m_shell, nullptr, [this](const QString &t) { m_log.append(t); },
            [this](bool force) { m_versionChecks += force ? 1 : 100; }};
        return modUnzip::UnzipArchive(host);
    }
    void checkFailureReported(int result)
    {
        QVERIFY(result != 0);
        const auto prompts = m_dialogs->prompts();
        QVERIFY(!prompts.isEmpty());
        QCOMPARE(prompts.last().icon, MessageIcon::Critical);
        QCOMPARE(prompts.last().text, modMain::uiText(65) + QString::number(result));
        QCOMPARE(m_shell->calls.size(), 1);
        QCOMPARE(m_shell->calls.first().target, archive());
    }

private slots:
    void init()
    {
        modMain::resetState();
        modUnzip::resetState();
        useEnglishTexts();
        modMain::State &s = modMain::state();
        m_dir = std::make_unique<QTemporaryDir>();
        m_dialogs = std::make_unique<ScriptedDialogs>();
        m_shell = std::make_unique<RecordingShell>();
        m_log.clear();
        m_versionChecks = 0;
        QVERIFY(QDir().mkpath(game()));
        s.GameFolder = game();
        s.PatchEdition = modMain::Edition::Windows;
        // What the update installation asks for, but with the archive's folders kept.
        modUnzip::Request &r = modUnzip::request();
        r.ArchivePath = archive();
        r.ExtractFolder = game();
        r.flag(modUnzip::OverwriteFiles) = 1;
        r.flag(modUnzip::HonorDirectories) = 1;
    }

    // What an archive leaves in the game folder, given what was there, the request's options and the
    // answers to the questions asked; nothing outside the game folder ever changes. Options: "flat" drops
    // the members' folders, "keep" keeps existing files, "ask" asks before replacing one, "anycase"
    // matches the lists in any letter case, "blanks" turns blanks into underscores; "members=" and
    // "excluded=" give a pattern for each list, "limit=" a size limit in MB, "patch=" damages the archive.
    void extracts_data()
    {
        QTest::addColumn<QStringList>("before"); // "path=content" a file, "path/" a folder, "path->target" a link
        QTest::addColumn<Entries>("entries");
        QTest::addColumn<QString>("options");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("after"); // everything in the game folder but the archive
        QTest::addColumn<QString>("why"); // in the log
        QTest::addColumn<QStringList>("texts"); // typed into the questions asked
        QTest::addColumn<QList<Answer>>("buttons"); // clicked in them
        const auto row = [](const char *tag, const QStringList &before, const Entries &entries, const char *options,
                             int code, const QStringList &after, const char *why = "", const QStringList &texts = {},
                             const QList<Answer> &buttons = {}) {
            QTest::newRow(tag) << before << entries << QString(options) << code << after << QString(why) << texts
                               << buttons;
        };
        const QString password = QString::fromLatin1(Password);
        row("nested", {},
            {{"readme.txt", "hello"}, {"sub/", {}}, {"sub/dir/file.bin", "deep"}, {"ttdpatchw.exe", "MZ"}}, "", 0,
            {"readme.txt=hello", "sub/", "sub/dir/", "sub/dir/file.bin=deep", "ttdpatchw.exe=MZ"});
        row("folders dropped", {}, {{"sub/dir/file.bin", "deep"}, {"sub/", {}}}, "flat", 0, {"file.bin=deep"});
        row("Windows separators", {}, {{"./a//b\\c.txt", "w"}}, "", 0, {"a/", "a/b/", "a/b/c.txt=w"});
        row("pkware", {}, {{"a/p.txt", "plain", ZIP_EM_TRAD_PKWARE}}, "", 0, {"a/", "a/p.txt=plain"}, "", {password});
        row("aes, password asked once", {}, {{"x.txt", "one", ZIP_EM_AES_256}, {"y.txt", "two", ZIP_EM_AES_256}}, "", 0,
            {"x.txt=one", "y.txt=two"}, "", {password});
        row("wrong, then right", {}, {{"x.txt", "one", ZIP_EM_AES_256}}, "", 0, {"x.txt=one"}, "", {"nope", password});

        const QStringList old {"one.txt=old1", "two.txt=old2"};
        const Entries renewed {{"one.txt", "new1"}, {"two.txt", "new2"}, {"three.txt", "new3"}};
        row("overwrite without asking", old, renewed, "", 0, {"one.txt=new1", "three.txt=new3", "two.txt=new2"});
        row("keep without asking", old, renewed, "keep", 0, {"one.txt=old1", "three.txt=new3", "two.txt=old2"});
        row("yes, no", old, renewed, "ask", 0, {"one.txt=new1", "three.txt=new3", "two.txt=old2"}, "", {},
            {Answer::Yes, Answer::No});
        row("cancel keeps all", old, renewed, "ask", 0, {"one.txt=old1", "three.txt=new3", "two.txt=old2"}, "", {},
            {Answer::Cancel});

        // The game folder comes from Windows: a member whose name differs only in letter case from a
        // file or folder that is there replaces or fills that one, never a second one beside it.
        row("folder and file, mixed case", {"NewGrf/Sub/Canals.GRF=old"},
            {{"newgrf/", {}}, {"NEWGRF/SUB/canals.grf", "new"}}, "", 0,
            {"NewGrf/", "NewGrf/Sub/", "NewGrf/Sub/Canals.GRF=new"});
        row("new folder below an existing one", {"NEWGRF/"}, {{"newgrf/sets/", {}}, {"newgrf/Sets/a.grf", "a"}}, "", 0,
            {"NEWGRF/", "NEWGRF/sets/", "NEWGRF/sets/a.grf=a"});
        row("two members, one name", {}, {{"readme.txt", "one"}, {"README.TXT", "two"}}, "", 0, {"readme.txt=two"});
        row("the exact spelling first", {"a.txt=lower", "A.TXT=upper"}, {{"A.TXT", "new"}}, "", 0,
            {"A.TXT=new", "a.txt=lower"});
        row("a file where the folder should be", {"NEWGRF=file"}, {{"newgrf/x.grf", "x"}, {"ok.txt", "ok"}}, "", 2,
            {"NEWGRF=file", "ok.txt=ok"}, "NEWGRF is not a folder");
        // A folder the system cannot make (here a name longer than any file system takes) fails the run.
        row("folder not made", {}, {{QByteArray(300, 'f') + "/x.grf", "x"}}, "", 50, {}, "cannot create folder");

        const Entries listed {{"a b.txt", "a"}, {"c.DAT", "c"}};
        row("wildcard", {}, listed, "members=*.txt", 0, {"a b.txt=a"});
        row("other case, exact", {}, listed, "members=*.TXT", 11, {});
        row("other case, any", {}, listed, "anycase members=*.TXT", 0, {"a b.txt=a"});
        row("excluded in any case", {}, listed, "anycase excluded=A*", 0, {"c.DAT=c"});
        row("blanks to underscores", {}, listed, "blanks", 0, {"a_b.txt=a", "c.DAT=c"});

        const auto named = [&](const char *tag, const QByteArray &name, const char *why = "\"..\"") {
            row(tag, {}, {{"ok.txt", "fine"}, {name, "evil"}}, "", 2, {"ok.txt=fine"}, why);
        };
        named("../x", "../x");
        named("..\\x", "..\\x");
        named("absolute", "@ROOT@/outside/victim.txt", "absolute");
        named("C:x", "C:x", "drive letter");
        named("empty name", "", "empty name");
        row("link entry, then through it", {}, {{"link", "../outside", 0, S_IFLNK | 0777}, {"link/x", "evil"}}, "", 2,
            {"link/", "link/x=evil"}, "link (symbolic link)");
        // The same names in another case are the same entries, links included.
        row("linked folder in another case", {"OUT->outside"}, {{"out/x", "evil"}}, "", 2, {"OUT->outside"},
            "OUT is a symbolic link");
        row("linked file in another case", {"T.TXT->outside/victim.txt"}, {{"t.txt", "evil!!"}}, "", 2,
            {"T.TXT->outside/victim.txt"}, "target is a symbolic link");
        row("bomb beyond declared size", {}, {{"bomb.bin", {}, 0, 0, 200 * MB}}, "patch=size", 12, {},
            "declared 1000 bytes");
        row("bomb beyond total cap", {}, {{"a.bin", {}, 0, 0, 6 * MB}, {"b.bin", {}, 0, 0, 200 * MB}}, "limit=16", 12,
            {"a.bin=6291456 bytes"}, "size limit");
        const Entries five {{"c.txt", QByteArray(5000, 'c')}, {"d.txt", "d"}};
        row("corrupted crc", {}, five, "patch=crc", 2, {"d.txt=d"}, "CRC");
        row("truncated", {}, five, "patch=truncate", 9, {}, "Cannot open");
        row("unsupported method", {}, five, "patch=implode", 81, {"d.txt=d"}, "method not supported");
    }
    void extracts()
    {
        QFETCH(QStringList, before);
        QFETCH(Entries, entries);
        QFETCH(QString, options);
        QFETCH(int, code);
        QFETCH(QStringList, after);
        QFETCH(QStringList, texts);
        QFETCH(QList<Answer>, buttons);
        QVERIFY(QDir().mkpath(m_dir->filePath("outside")));
        writeBytes(m_dir->filePath("outside/victim.txt"), "keep");
        for (const QString &item : before) {
            const QString path = game() + item.section('=', 0, 0).section("->", 0, 0);
            QVERIFY(QDir().mkpath(item.endsWith('/') ? path : QFileInfo(path).path()));
            if (item.contains("->"))
                QVERIFY(QFile::link(m_dir->filePath(item.section("->", 1)), path));
            else if (!item.endsWith('/'))
                writeBytes(path, item.section('=', 1).toUtf8());
        }
        for (Entry &e : entries)
            e.name.replace("@ROOT@", QFile::encodeName(m_dir->path()));
        QVERIFY(buildZip(archive(), entries, "\nRelease notes"));
        for (const QString &text : texts)
            m_dialogs->queueText(text);
        for (Answer answer : buttons)
            m_dialogs->queueAnswer(answer);
        const QStringList option = options.split(' ');
        modUnzip::Request &r = modUnzip::request();
        r.flag(modUnzip::HonorDirectories) = !option.contains("flat");
        r.flag(modUnzip::OverwriteFiles) = !option.contains("keep") && !option.contains("ask");
        r.flag(modUnzip::PromptToOverwrite) = option.contains("ask");
        r.flag(modUnzip::CaseInsensitive) = option.contains("anycase");
        r.flag(modUnzip::SpaceToUnderscore) = option.contains("blanks");
        r.flag(modUnzip::DisplayComment) = 1;
        r.FileNames[0] = option.filter("members=").value(0).section('=', 1);
        r.FileNames[1] = QStringLiteral("*"); // left from an earlier extraction, beyond the count
        r.FileCount = r.FileNames[0].isEmpty() ? 0 : 1;
        r.ExcludeNames[0] = option.filter("excluded=").value(0).section('=', 1);
        r.ExcludeCount = r.ExcludeNames[0].isEmpty() ? 0 : 1;
        const QString limit = option.filter("limit=").value(0).section('=', 1);
        r.TotalSizeLimit = limit.isEmpty() ? unzipLibrary::DefaultTotalSizeLimit : limit.toLongLong() * MB;
        patchArchive(archive(),
            Patch(QStringList {"", "size", "crc", "truncate", "implode"}.indexOf(
                option.filter("patch=").value(0).section('=', 1))));
        const auto outside = listing(m_dir->path(), "game");

        QCOMPARE(unzip(), code);
        QStringList found;
        const auto files = listing(game(), QStringLiteral("release.zip"));
        for (auto it = files.begin(); it != files.end(); ++it) {
            const QByteArray &value = it.value();
            found.append(it.key()
                + (value == "dir"                   ? QStringLiteral("/")
                        : value.startsWith("link:") ? "->" + QDir(m_dir->path()).relativeFilePath(value.mid(5))
                        : value.size() > 5000       ? QStringLiteral("=%1 bytes").arg(value.size())
                                                    : '=' + QString::fromUtf8(value)));
        }
        std::sort(after.begin(), after.end());
        QCOMPARE(found, after);
        QCOMPARE(listing(m_dir->path(), "game"), outside);
        QVERIFY(QDir(game()).entryList({".unzip-*"}, QDir::Hidden | QDir::Files).isEmpty());
        QVERIFY(unzipLibrary::lastBytesDecompressed() <= std::min(r.TotalSizeLimit, 8 * MB) + MB);
        QFETCH(QString, why);
        QVERIFY2(m_log.join('\n').contains(why), qPrintable(m_log.join('\n')));
        QCOMPARE(m_dialogs->pendingAnswers(), 0);
        QVERIFY(code == 9 || m_log.contains("\r\n")); // the comment began with a line feed
        if (code != 0)
            return checkFailureReported(code);
        const auto prompts = m_dialogs->prompts();
        QCOMPARE(prompts.size(), texts.size() + buttons.size() + 1);
        QCOMPARE(prompts.last().icon, MessageIcon::Information);
        QCOMPARE(prompts.last().text, modMain::uiText(62) + "\r\n" + game());
        QVERIFY(m_shell->calls.isEmpty());
        QCOMPARE(m_versionChecks, after.contains("ttdpatchw.exe=MZ") ? 1 : 0); // a new patch is asked its version
        if (!buttons.isEmpty()) {
            QCOMPARE(prompts.first().title, QString("VBUnZip32 - File Already Exists!"));
            QCOMPARE(prompts.first().text, "Overwrite " + QFileInfo(game() + "one.txt").canonicalFilePath() + "?");
            QCOMPARE(prompts.first().buttons, MessageButtons::YesNoCancel);
        }
    }

    void passwordNotGiven_data()
    {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<int>("skipPassword");
        QTest::newRow("wrong three times") << QStringList({"a", "b", "c"}) << 0;
        QTest::newRow("empty answer") << QStringList({""}) << 1;
    }
    void passwordNotGiven()
    {
        QFETCH(QStringList, answers);
        QFETCH(int, skipPassword);
        QVERIFY(buildZip(archive(), {{"p.txt", "plain", ZIP_EM_AES_256}}));
        for (const QString &answer : answers)
            m_dialogs->queueText(answer);
        checkFailureReported(unzip());
        QVERIFY(!QFile::exists(game() + "p.txt"));
        QCOMPARE(modUnzip::SkipPassword(), qint16(skipPassword));
        QCOMPARE(m_dialogs->pendingAnswers(), 0);
        // Once skipped, no later archive asks again.
        m_dialogs->takePrompts();
        QVERIFY(buildZip(archive(), {{"q.txt", "plain", ZIP_EM_TRAD_PKWARE}}));
        m_dialogs->queueText(QString::fromLatin1(Password));
        const int again = unzip();
        QCOMPARE(again == 0, skipPassword == 0);
        QCOMPARE(m_dialogs->prompts().first().kind,
            skipPassword ? ScriptedDialogs::Kind::Message : ScriptedDialogs::Kind::Input);
    }
};

QTEST_MAIN(TestModUnzip)
#include "tst_modunzip.moc"
