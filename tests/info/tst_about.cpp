// The About box: its captions, the free-memory line and its refresh, the site, mail and credit
// labels, and the plain forms of the maker's lines.
#include "testsupport.h"

#include "info/frmabout.h"

#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <memory>

using modMain::state;
using namespace Qt::StringLiterals;

namespace {
QString memoryLine(const QString &kilobytes)
{
    return u"Physical memory available to Windows: %1 KB"_s.arg(kilobytes);
}

bool isAscii(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() <= 0x7E; });
}
} // namespace

class AboutTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_t = std::make_unique<TestServices>();
        useEnglishTexts();
        state().ProgramVersion = u"1.2.5"_s;
        m_bytes = 1536;
    }
    void cleanup() { m_t.reset(); }

    void captionsAfterShowing()
    {
        frmAbout about(*m_t->services, nullptr, source());
        QMap<QString, QString> shown;
        bool timerRunning = false;
        m_t->dialogs.queueForm([&](QDialog &form) {
            shown = captionsOf(form);
            timerRunning = form.findChild<QTimer *>(u"tmrMemo"_s)->isActive();
            form.findChild<QPushButton *>(u"cmdOK"_s)->click();
        });
        QCOMPARE(m_t->dialogs.showModal(about), int(QDialog::Accepted));
        const QMap<QString, QString> expected {{u"#title"_s, u"About Vexal Pro"_s}, {u"cmdOK"_s, u"OK"_s},
            {u"lblVersion"_s, u"Version 1.2.5"_s}, {u"lblTtdp"_s, u"For all TTDPatch versions"_s},
            {u"lblVexalsite"_s, u"Vexal Pro website"_s}, {u"lblMemo"_s, memoryLine(u"1.5"_s)}};
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QCOMPARE(shown.value(it.key()), it.value());
        QCOMPARE(m_t->dialogs.prompts().last().formName, u"frmAbout"_s);
        QVERIFY(timerRunning && !about.tmrMemo->isActive());
        QCOMPARE(about.lblVexalsite->cursor().shape(), Qt::PointingHandCursor);
    }

    void kilobytesAreExact()
    {
        // Twenty significant digits in the last row: the shortest round-trip form would stop at seventeen.
        const QList<std::pair<qint64, QString>> rows {{512 * 8191, u"4095.5"_s}, {1024, u"1"_s}, {0, u"0"_s},
            {1000, u"0.9765625"_s}, {1, u"0.0009765625"_s}, {(qint64(1) << 36) - 1, u"67108863.9990234375"_s}};
        for (const auto &[bytes, text] : rows)
            QCOMPARE(frmAbout::kilobytesText(bytes), text);
    }

    void memoryLineFollowsTheMachineWhileOpen()
    {
        m_bytes = 512 * 3000001;
        frmAbout about(*m_t->services, nullptr, source());
        QCOMPARE(about.lblMemo->text(), memoryLine(u"1500000.5"_s));
        about.show();
        m_bytes = 2048 + 256;
        QTRY_COMPARE_WITH_TIMEOUT(about.lblMemo->text(), memoryLine(u"2.25"_s), 3000);
        about.hide();
        QVERIFY(!about.tmrMemo->isActive());

        m_bytes = std::nullopt;
        frmAbout unknown(*m_t->services, nullptr, source());
        QCOMPARE(unknown.lblMemo->text(), memoryLine(u"?"_s));
    }

    void theMachinesOwnMemoryIsShown()
    {
        frmAbout about(*m_t->services);
        const QRegularExpression line(u"^%1$"_s.arg(memoryLine(u"[1-9][0-9]*(\\.[0-9]*[1-9])?"_s)));
        QVERIFY2(line.match(about.lblMemo->text()).hasMatch(), qPrintable(about.lblMemo->text()));
    }

    void labelClicks()
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

        // The zip library's credit: a message only, naming the library's version and its licence.
        QTest::mouseClick(about.lblInfoZip, Qt::LeftButton);
        QCOMPARE(m_t->dialogs.prompts().size(), 1);
        const auto credit = m_t->dialogs.prompts().first();
        QCOMPARE(credit.title, u"InfoZip Controls"_s);
        QCOMPARE(credit.icon, MessageIcon::Information);
        QVERIFY2(credit.text.contains(QRegularExpression(u"libzip 1\\.[0-9]+"_s)), qPrintable(credit.text));
        QVERIFY(credit.text.contains(u"BSD"_s));
        QVERIFY(!credit.text.contains(u"UNZIP32"_s, Qt::CaseInsensitive));
        QCOMPARE(m_t->shell.calls.size(), 1);

        // The author's label: the notice first, then the mail.
        int promptsWhenMailed = -1;
        m_t->shell.onCall = [&](const RecordingShell::Call &) { promptsWhenMailed = m_t->dialogs.prompts().size(); };
        QTest::mouseClick(about.lblBrakemoor, Qt::LeftButton);
        QCOMPARE(m_t->dialogs.prompts().size(), 2);
        const auto notice = m_t->dialogs.prompts().last();
        QCOMPARE(notice.title, u"Email Notice"_s);
        QCOMPARE(notice.icon, MessageIcon::Information);
        QCOMPARE(notice.text,
            u"When contacting the developer please do it in english or spanish only.\r\n\r\n"
            "Al contactar al autor por favor hazlo en inglés o español únicamente."_s);
        QCOMPARE(promptsWhenMailed, 2);
        QCOMPARE(m_t->shell.calls.size(), 2);
        QCOMPARE(m_t->shell.calls[1].target, modMain::mailReportAddress(u"Vexal Pro 1.2.5"_s));
        QVERIFY(m_t->shell.calls[1].target.startsWith(u"mailto:"_s));
    }

    void otherCharacterSetsGetPlainMakerLines()
    {
        frmAbout western(*m_t->services, nullptr, source());
        QVERIFY(!isAscii(western.lblCopyr->text()) && !isAscii(western.lblBrakemoor->text()));
        state().FontCharset = 238;
        frmAbout central(*m_t->services, nullptr, source());
        QCOMPARE(central.lblCopyr->text(), u"Copyright (c) 2004-2026 Brakemoor Solutions. All rights reserved."_s);
        QVERIFY(isAscii(central.lblBrakemoor->text()));
        QVERIFY(central.lblBrakemoor->text().contains(u"Brakemoor Solutions"_s));
        QCOMPARE(central.cmdOK->property("FontCharset").toInt(), 238);
    }

private:
    frmAbout::MemorySource source()
    {
        return [this]() { return m_bytes; };
    }

    std::unique_ptr<TestServices> m_t;
    std::optional<qint64> m_bytes;
};

QTEST_MAIN(AboutTest)
#include "tst_about.moc"
