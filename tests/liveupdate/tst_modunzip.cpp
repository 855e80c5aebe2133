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

    void extracts_data()
    {
        QTest::addColumn<Entries>("entries");
        QTest::addColumn<int>("honorDirectories");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QStringList>("expected"); // path=content
        QTest::addColumn<int>("versionChecks");
        const auto row = [](const char *tag, const Entries &entries, int honor, const QStringList &answers,
                             const QStringList &expected, int versionChecks = 0) {
            QTest::newRow(tag) << entries << honor << answers << expected << versionChecks;
        };
        row("nested", {{"readme.txt", "hello"}, {"sub/", {}}, {"sub/dir/file.bin", "deep"}, {"ttdpatchw.exe", "MZ"}}, 1,
            {}, {"readme.txt=hello", "sub/dir/file.bin=deep", "ttdpatchw.exe=MZ"}, 1);
        row("folders dropped", {{"sub/dir/file.bin", "deep"}, {"sub/", {}}}, 0, {}, {"file.bin=deep"});
        row("Windows separators", {{"./a//b\\c.txt", "w"}}, 1, {}, {"a/b/c.txt=w"});
        row("pkware", {{"a/p.txt", "plain", ZIP_EM_TRAD_PKWARE}}, 1, {Password}, {"a/p.txt=plain"});
        row("aes, password asked once", {{"x.txt", "one", ZIP_EM_AES_256}, {"y.txt", "two", ZIP_EM_AES_256}}, 1,
            {Password}, {"x.txt=one", "y.txt=two"});
        row("wrong, then right", {{"x.txt", "one", ZIP_EM_AES_256}}, 1, {"nope", Password}, {"x.txt=one"});
    }
    void extracts()
    {
        QFETCH(Entries, entries);
        QFETCH(int, honorDirectories);
        QFETCH(QStringList, answers);
        QFETCH(QStringList, expected);
        QVERIFY(buildZip(archive(), entries, "\nRelease notes"));
        for (const QString &answer : answers)
            m_dialogs->queueText(answer);
        modUnzip::request().flag(modUnzip::HonorDirectories) = qint16(honorDirectories);
        modUnzip::request().flag(modUnzip::DisplayComment) = 1;
        QCOMPARE(unzip(), 0);
        for (const QString &file : expected)
            QCOMPARE(readBytes(game() + file.section('=', 0, 0)), file.section('=', 1).toUtf8());
        QStringList files = listing(game(), QStringLiteral("release.zip")).keys();
        files.removeIf([this](const QString &f) { return QFileInfo(game() + f).isDir(); });
        QCOMPARE(files.size(), expected.size());
        QCOMPARE(m_dialogs->pendingAnswers(), 0);
        const auto prompts = m_dialogs->prompts();
        QCOMPARE(prompts.size(), answers.size() + 1);
        QCOMPARE(prompts.last().icon, MessageIcon::Information);
        QCOMPARE(prompts.last().text, modMain::uiText(62) + "\r\n" + game());
        QVERIFY(m_shell->calls.isEmpty());
        QTEST(m_versionChecks, "versionChecks");
        QVERIFY(m_log.contains("\r\n")); // the comment began with a line feed
    }

    void replaces_data()
    {
        QTest::addColumn<int>("prompt");
        QTest::addColumn<int>("overwrite");
        QTest::addColumn<QList<Answer>>("answers");
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second");
        QTest::newRow("overwrite without asking")
            << 0 << 1 << QList<Answer>() << QByteArray("new1") << QByteArray("new2");
        QTest::newRow("keep without asking") << 0 << 0 << QList<Answer>() << QByteArray("old1") << QByteArray("old2");
        QTest::newRow("yes, no") << 1 << 0 << QList<Answer>({Answer::Yes, Answer::No}) << QByteArray("new1")
                                 << QByteArray("old2");
        QTest::newRow("cancel keeps all")
            << 1 << 0 << QList<Answer>({Answer::Cancel}) << QByteArray("old1") << QByteArray("old2");
    }
    void replaces()
    {
        QFETCH(int, prompt);
        QFETCH(int, overwrite);
        QFETCH(QList<Answer>, answers);
        writeBytes(game() + "one.txt", "old1");
        writeBytes(game() + "two.txt", "old2");
        QVERIFY(buildZip(archive(), {{"one.txt", "new1"}, {"two.txt", "new2"}, {"three.txt", "new3"}}));
        for (Answer answer : answers)
            m_dialogs->queueAnswer(answer);
        modUnzip::request().flag(modUnzip::PromptToOverwrite) = qint16(prompt);
        modUnzip::request().flag(modUnzip::OverwriteFiles) = qint16(overwrite);
        QCOMPARE(unzip(), 0);
        QTEST(readBytes(game() + "one.txt"), "first");
        QTEST(readBytes(game() + "two.txt"), "second");
        QCOMPARE(readBytes(game() + "three.txt"), QByteArray("new3"));
        const auto prompts = m_dialogs->prompts();
        QCOMPARE(prompts.size(), answers.size() + 1);
        if (!answers.isEmpty()) {
            QCOMPARE(prompts.first().title, QString("VBUnZip32 - File Already Exists!"));
            QCOMPARE(prompts.first().text, "Overwrite " + QFileInfo(game() + "one.txt").canonicalFilePath() + "?");
            QCOMPARE(prompts.first().buttons, MessageButtons::YesNoCancel);
        }
    }

    // The game folder comes from Windows: a member whose name differs only in letter case from a
    // file or folder that is there replaces or fills that one, never a second one beside it.
    void keepsTheFolderSpelling_data()
    {
        QTest::addColumn<QStringList>("before"); // "path=content" for a file, "path/" for a folder
        QTest::addColumn<Entries>("entries");
        QTest::addColumn<QStringList>("after"); // everything in the game folder but the archive
        QTest::addColumn<QString>("refusal"); // in the log; empty: everything unpacked
        QTest::newRow("file") << QStringList({"TTDPATCHW.EXE=old"}) << Entries {{"ttdpatchw.exe", "new"}}
                              << QStringList({"TTDPATCHW.EXE=new"}) << QString();
        QTest::newRow("folder") << QStringList({"NEWGRF/old.grf=old"}) << Entries {{"newgrf/x.grf", "x"}}
                                << QStringList({"NEWGRF/", "NEWGRF/old.grf=old", "NEWGRF/x.grf=x"}) << QString();
        QTest::newRow("folder and file, mixed case")
            << QStringList({"NewGrf/Sub/Canals.GRF=old"}) << Entries {{"newgrf/", {}}, {"NEWGRF/SUB/canals.grf", "new"}}
            << QStringList({"NewGrf/", "NewGrf/Sub/", "NewGrf/Sub/Canals.GRF=new"}) << QString();
        QTest::newRow("new folder below an existing one")
            << QStringList({"NEWGRF/"}) << Entries {{"newgrf/sets/", {}}, {"newgrf/Sets/a.grf", "a"}}
            << QStringList({"NEWGRF/", "NEWGRF/sets/", "NEWGRF/sets/a.grf=a"}) << QString();
        QTest::newRow("two members, one name")
            << QStringList() << Entries {{"readme.txt", "one"}, {"README.TXT", "two"}}
            << QStringList({"readme.txt=two"}) << QString();
        QTest::newRow("the exact spelling first")
            << QStringList({"a.txt=lower", "A.TXT=upper"}) << Entries {{"A.TXT", "new"}}
            << QStringList({"A.TXT=new", "a.txt=lower"}) << QString();
        QTest::newRow("a file where the folder should be")
            << QStringList({"NEWGRF=file"}) << Entries {{"newgrf/x.grf", "x"}, {"ok.txt", "ok"}}
            << QStringList({"NEWGRF=file", "ok.txt=ok"}) << QString("NEWGRF is not a folder");
    }
    void keepsTheFolderSpelling()
    {
        QFETCH(QStringList, before);
        QFETCH(Entries, entries);
        QFETCH(QStringList, after);
        QFETCH(QString, refusal);
        for (const QString &item : before) {
            const QString path = game() + item.section('=', 0, 0);
            QVERIFY(QDir().mkpath(item.endsWith('/') ? path : QFileInfo(path).path()));
            if (!item.endsWith('/'))
                writeBytes(path, item.section('=', 1).toUtf8());
        }
        QVERIFY(buildZip(archive(), entries));
        QCOMPARE(unzip(), refusal.isEmpty() ? 0 : 2);
        if (!refusal.isEmpty())
            QVERIFY2(m_log.join('\n').contains(refusal), qPrintable(m_log.join('\n')));
        QStringList found;
        const auto files = listing(game(), QStringLiteral("release.zip"));
        for (auto it = files.begin(); it != files.end(); ++it)
            found.append(it.key() + (it.value() == "dir" ? QStringLiteral("/") : '=' + QString::fromUtf8(it.value())));
        std::sort(found.begin(), found.end());
        std::sort(after.begin(), after.end());
        QCOMPARE(found, after);
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

    // The member and exclusion lists (wildcards, letter case as the flag says) and the blank-to-underscore flag.
    void memberLists_data()
    {
        QTest::addColumn<QString>("members");
        QTest::addColumn<QString>("excluded");
        QTest::addColumn<bool>("anyCase");
        QTest::addColumn<bool>("underscores");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("files"); // in the game folder afterwards
        const auto row = [](const char *tag, const char *members, const char *excluded, bool anyCase, bool underscores,
                             int code, const QStringList &files) {
            QTest::newRow(tag) << QString(members) << QString(excluded) << anyCase << underscores << code << files;
        };
        row("wildcard", "*.txt", "", false, false, 0, {"a b.txt", "release.zip"});
        row("other case, exact", "*.TXT", "", false, false, 11, {"release.zip"});
        row("other case, any", "*.TXT", "", true, false, 0, {"a b.txt", "release.zip"});
        row("excluded in any case", "", "A*", true, false, 0, {"c.DAT", "release.zip"});
        row("blanks to underscores", "", "", false, true, 0, {"a_b.txt", "c.DAT", "release.zip"});
    }
    void memberLists()
    {
        QFETCH(QString, members);
        QFETCH(QString, excluded);
        QVERIFY(buildZip(archive(), {{"a b.txt", "a"}, {"c.DAT", "c"}}));
        modUnzip::Request &r = modUnzip::request();
        r.FileCount = members.isEmpty() ? 0 : 1;
        r.FileNames[0] = members;
        r.FileNames[1] = QStringLiteral("*"); // left from an earlier extraction, beyond the count
        r.ExcludeCount = excluded.isEmpty() ? 0 : 1;
        r.ExcludeNames[0] = excluded;
        QFETCH(bool, anyCase);
        QFETCH(bool, underscores);
        r.flag(modUnzip::CaseInsensitive) = anyCase;
        r.flag(modUnzip::SpaceToUnderscore) = underscores;
        QTEST(unzip(), "code");
        QTEST(entriesOf(game()), "files");
    }

    void refusesHostile_data()
    {
        QTest::addColumn<Entries>("entries");
        QTest::addColumn<QString>(
            "link"); // in the game folder before: to the outside file if it has a dot, else the folder
        QTest::addColumn<int>("patch");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("why"); // in the log
        const auto row = [&](const char *tag, const Entries &entries, const char *why, int code = 2,
                             const char *link = "", Patch patch = NoPatch,
                             qint64 limit = unzipLibrary::DefaultTotalSizeLimit) {
            QTest::newRow(tag) << entries << QString::fromLatin1(link) << int(patch) << limit << code << QString(why);
        };
        const auto named = [&](const char *tag, const QByteArray &name, const char *why = "\"..\"") {
            row(tag, {{"ok.txt", "fine"}, {name, "evil"}}, why);
        };
        named("../x", "../x");
        named("..\\x", "..\\x");
        named("absolute", "@ROOT@/victim", "absolute");
        named("C:\\x", "C:\\x", "drive letter");
        named("C:x", "C:x", "drive letter");
        named("a/b/../../../x", "a/b/../../../x");
        named("trailing /..", "a/..");
        named("\\\\server\\share\\x", "\\\\server\\share\\x", "absolute");
        named("empty name", "", "empty name");
        row("link entry, then through it", {{"link", "../outside", 0, S_IFLNK | 0777}, {"link/x", "evil"}},
            "link (symbolic link)");
        // The same names in another case are the same entries, links included.
        row("existing linked folder", {{"out/x", "evil"}}, "out is a symbolic link", 2, "out");
        row("existing linked file", {{"t.txt", "evil!!"}}, "target is a symbolic link", 2, "t.txt");
        row("linked folder in another case", {{"out/x", "evil"}}, "OUT is a symbolic link", 2, "OUT");
        row("linked file in another case", {{"t.txt", "evil!!"}}, "target is a symbolic link", 2, "T.TXT");
        row("bomb beyond declared size", {{"bomb.bin", {}, 0, 0, 200 * MB}}, "declared 1000 bytes", 12, "",
            LieAboutSize);
        row("bomb beyond total cap", {{"a.bin", {}, 0, 0, 6 * MB}, {"b.bin", {}, 0, 0, 200 * MB}}, "size limit", 12, "",
            NoPatch, 16 * MB);
        row("corrupted crc", {{"c.txt", QByteArray(5000, 'c')}}, "CRC", 2, "", BreakCrc);
        row("truncated", {{"c.txt", QByteArray(5000, 'c')}, {"d.txt", "d"}}, "Cannot open", 9, "", Truncate);
        row("unsupported method", {{"c.txt", QByteArray(5000, 'c')}}, "method not supported", 81, "", Implode);
    }
    void refusesHostile()
    {
        QFETCH(Entries, entries);
        QFETCH(QString, link);
        QFETCH(int, patch);
        QFETCH(qint64, limit);
        const QString outside = m_dir->filePath("outside");
        QVERIFY(QDir().mkpath(outside));
        writeBytes(outside + "/victim.txt", "keep");
        if (!link.isEmpty())
            QVERIFY(QFile::link(link.contains('.') ? outside + "/victim.txt" : outside, game() + link));
        for (Entry &e : entries)
            e.name.replace("@ROOT@", QFile::encodeName(m_dir->path()));
        QVERIFY(buildZip(archive(), entries));
        patchArchive(archive(), Patch(patch));
        modUnzip::request().TotalSizeLimit = limit;
        const auto before = listing(m_dir->path(), "game");
        const int result = unzip();
        QTEST(result, "code");
        checkFailureReported(result);
        QCOMPARE(listing(m_dir->path(), "game"), before);
        QVERIFY(unzipLibrary::lastBytesDecompressed() <= std::min(limit, 8 * MB) + MB);
        QFETCH(QString, why);
        QVERIFY2(m_log.join('\n').contains(why), qPrintable(m_log.join('\n')));
        if (entries.first().name == "ok.txt")
            QCOMPARE(readBytes(game() + "ok.txt"), QByteArray("fine"));
        QVERIFY(QDir(game()).entryList({".unzip-*"}, QDir::Hidden | QDir::Files).isEmpty());
    }
};

QTEST_MAIN(TestModUnzip)
#include "tst_modunzip.moc"
