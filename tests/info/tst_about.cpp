// The About box: its captions, the free-memory line and its refresh, the site, mail and credit
// labels, and the plain forms of the maker's lines.
#include "testsupport.h"

#include "info/frmabout.h"
#include "lang/modlanguage.h"
#include "lang/stringresources.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

#include <memory>

using modMain::state;

namespace {
constexpr const char *MemoryLine = "Physical memory available to Windows: %1 KB";

bool isAscii(const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() > 0x7E || c.unicode() < 0x20)
            return false;
    }
    return true;
}
} // namespace

class AboutTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QApplication::setQuitOnLastWindowClosed(false);
        m_t = std::make_unique<TestServices>();
        state().LanguageName = QStringLiteral("ENGLISH");
        modLanguage::loadInterfaceTexts(state(), StringResources::builtIn());
        state().ProgramVersion = QStringLiteral("1.2.5");
        m_bytes = 1536;
        m_unknown = false;
    }
    void cleanup() { m_t.reset(); }

    void captionsAfterShowing()
    {
        frmAbout about(*m_t->services, nullptr, source());
        QMap<QString, QString> shown;
        bool timerRunning = false;
        m_t->dialogs.queueForm([&](QDialog &form) {
            shown = captionsOf(form);
            timerRunning = form.findChild<QTimer *>(QStringLiteral("tmrMemo"))->isActive();
            form.findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
        });
        QCOMPARE(m_t->dialogs.showModal(about), int(QDialog::Accepted));
        QCOMPARE(shown.value(QStringLiteral("#title")), QStringLiteral("About Vexal Pro"));
        QCOMPARE(shown.value(QStringLiteral("cmdOK")), QStringLiteral("OK"));
        QCOMPARE(shown.value(QStringLiteral("lblVersion")), QStringLiteral("Version 1.2.5"));
        QCOMPARE(shown.value(QStringLiteral("lblTtdp")), QStringLiteral("For all TTDPatch versions"));
        QCOMPARE(shown.value(QStringLiteral("lblVexalsite")), QStringLiteral("Vexal Pro website"));
        QCOMPARE(shown.value(QStringLiteral("lblMemo")), QString::fromLatin1(MemoryLine).arg(QStringLiteral("1.5")));
        QCOMPARE(m_t->dialogs.prompts().last().formName, QStringLiteral("frmAbout"));
        QVERIFY(timerRunning);
        QVERIFY(!about.tmrMemo->isActive());
        QCOMPARE(about.tmrMemo->interval(), 1000);
        QCOMPARE(about.lblVexalsite->cursor().shape(), Qt::PointingHandCursor);
    }

    void kilobytesAreExact_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("odd multiple of 512") << qint64(512 * 8191) << QStringLiteral("4095.5");
        QTest::newRow("whole kilobyte") << qint64(1024) << QStringLiteral("1");
        QTest::newRow("ten kilobytes") << qint64(10240) << QStringLiteral("10");
        QTest::newRow("nothing") << qint64(0) << QStringLiteral("0");
        QTest::newRow("ten binary places") << qint64(1000) << QStringLiteral("0.9765625");
        QTest::newRow("one byte") << qint64(1) << QStringLiteral("0.0009765625");
        // Twenty significant digits: the shortest round-trip form would stop at seventeen.
        QTest::newRow("64 GB less a byte") << (qint64(1) << 36) - 1 << QStringLiteral("67108863.9990234375");
        QTest::newRow("8 GB") << (qint64(8) << 30) << QStringLiteral("8388608");
    }
    void kilobytesAreExact()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(frmAbout::kilobytesText(bytes), text);
    }

    void memoryLineFollowsTheMachineWhileOpen()
    {
        m_bytes = 512 * 3000001;
        frmAbout about(*m_t->services, nullptr, source());
        QCOMPARE(about.lblMemo->text(), QString::fromLatin1(MemoryLine).arg(QStringLiteral("1500000.5")));
        about.show();
        m_bytes = 2048 + 256;
        QTRY_COMPARE_WITH_TIMEOUT(
            about.lblMemo->text(), QString::fromLatin1(MemoryLine).arg(QStringLiteral("2.25")), 3000);
        about.hide();
        QVERIFY(!about.tmrMemo->isActive());

        m_unknown = true;
        frmAbout unknown(*m_t->services, nullptr, source());
        QCOMPARE(unknown.lblMemo->text(), QString::fromLatin1(MemoryLine).arg(QStringLiteral("?")));
    }

    void theMachinesOwnMemoryIsShown()
    {
        const std::optional<qint64> bytes = frmAbout::systemAvailableBytes();
        QVERIFY(bytes && *bytes > 0);
        frmAbout about(*m_t->services);
        const QRegularExpression line(
            QStringLiteral("^Physical memory available to Windows: [1-9][0-9]*(\\.[0-9]*[1-9])? KB$"));
        QVERIFY2(line.match(about.lblMemo->text()).hasMatch(), qPrintable(about.lblMemo->text()));
    }

    void siteLabelOpensTheProgramPage()
    {
        frmAbout about(*m_t->services, nullptr, source());
        about.show();
        QTest::mouseClick(about.lblVexalsite, Qt::RightButton);
        QVERIFY(m_t->shell.calls.isEmpty());
        QTest::mouseClick(about.lblVexalsite, Qt::LeftButton);
        QCOMPARE(m_t->shell.calls.size(), 1);
        QCOMPARE(m_t->shell.calls[0].kind, RecordingShell::Call::Kind::Open);
        QCOMPARE(m_t->shell.calls[0].target, modMain::programPageAddress(true));
        QVERIFY(m_t->dialogs.prompts().isEmpty());
    }

    void authorLabelShowsTheNoticeThenMails()
    {
        frmAbout about(*m_t->services, nullptr, source());
        about.show();
        int callsWhenAsked = -1;
        m_t->shell.onCall = [&](const RecordingShell::Call &) { callsWhenAsked = m_t->dialogs.prompts().size(); };
        QTest::mouseClick(about.lblBrakemoor, Qt::LeftButton);
        QCOMPARE(m_t->dialogs.prompts().size(), 1);
        const auto notice = m_t->dialogs.prompts().first();
        QCOMPARE(notice.title, QStringLiteral("Email Notice"));
        QCOMPARE(notice.icon, MessageIcon::Information);
        QCOMPARE(notice.text, StringResources::builtIn().string(501).value());
        QVERIFY(notice.text.startsWith(QStringLiteral("When contacting the developer please do it in english")));
        QCOMPARE(callsWhenAsked, 1);
        QCOMPARE(m_t->shell.calls.size(), 1);
        QCOMPARE(m_t->shell.calls[0].target, modMain::mailReportAddress(QStringLiteral("Vexal Pro 1.2.5")));
        QVERIFY(m_t->shell.calls[0].target.startsWith(QStringLiteral("mailto:")));
    }

    void creditLabelNamesTheZipLibrary()
    {
        frmAbout about(*m_t->services, nullptr, source());
        about.show();
        QTest::mouseClick(about.lblInfoZip, Qt::LeftButton);
        QCOMPARE(m_t->dialogs.prompts().size(), 1);
        const auto credit = m_t->dialogs.prompts().first();
        QCOMPARE(credit.title, QStringLiteral("InfoZip Controls"));
        QCOMPARE(credit.icon, MessageIcon::Information);
        QCOMPARE(credit.text, frmAbout::zipLibraryCredit());
        QVERIFY(credit.text.contains(QStringLiteral("libzip 1.")));
        QVERIFY(credit.text.contains(QStringLiteral("BSD")));
        QVERIFY(credit.text.endsWith(QStringLiteral("https://libzip.org/")));
        QVERIFY(!credit.text.contains(QStringLiteral("UNZIP32"), Qt::CaseInsensitive));
        QVERIFY(m_t->shell.calls.isEmpty());
    }

    void otherCharacterSetsGetPlainMakerLines()
    {
        frmAbout western(*m_t->services, nullptr, source());
        QVERIFY(!isAscii(western.lblCopyr->text()));
        QVERIFY(!isAscii(western.lblBrakemoor->text()));

        state().FontCharset = 238;
        frmAbout central(*m_t->services, nullptr, source());
        QCOMPARE(central.lblCopyr->text(),
            QStringLiteral("Copyright (c) 2004-2026 Brakemoor Solutions. All rights reserved."));
        QVERIFY(isAscii(central.lblBrakemoor->text()));
        QVERIFY(central.lblBrakemoor->text().contains(QStringLiteral("Brakemoor Solutions")));
        QCOMPARE(central.lblMemo->property("FontCharset").toInt(), 238);
        QCOMPARE(central.cmdOK->property("FontCharset").toInt(), 238);
    }

private:
    frmAbout::MemorySource source()
    {
        return [this]() -> std::optional<qint64> {
            if (m_unknown)
                return std::nullopt;
            return m_bytes;
        };
    }

    std::unique_ptr<TestServices> m_t;
    qint64 m_bytes = 0;
    bool m_unknown = false;
};

QTEST_MAIN(AboutTest)
#include "tst_about.moc"
