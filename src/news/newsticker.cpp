#include "newsticker.h"

#include "common/basictext.h"
#include "common/errortrap.h"
#include "common/links.h"
#include "common/modmain.h"
#include "common/twips.h"
#include "platform/dialogs.h"
#include "platform/textcodec.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>

namespace {

const QColor PlaceholderColour(0, 0, 192);

QString newsOldPath()
{
    return modMain::state().TempPath + QLatin1String("news.old");
}

void setTextColour(QLabel &label, const QColor &colour)
{
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, colour);
    label.setPalette(palette);
}

} // namespace

QList<NewsRecord> readNewsRecords(const QString &text)
{
    const QStringList lines = basicText::lineInputLines(text);
    qsizetype next = 0;
    // Reading past the end gives an empty field, so a record cut short keeps what it has.
    const auto readLine = [&] { return next < lines.size() ? lines.at(next++) : QString(); };
    QList<NewsRecord> records;
    while (next < lines.size() && records.size() < NewsRecordLimit) {
        NewsRecord record;
        record.headline = readLine();
        if (basicText::trimBlanks(record.headline).isEmpty())
            break;
        record.description = readLine();
        record.link = readLine();
        readLine(); // the separator
        records.append(record);
    }
    return records;
}

QString NewsTicker::placeholderText()
{
    return QStringLiteral("Updating news ticker...");
}

NewsTicker::NewsTicker(Services &services, const NewsControls &controls, QObject *parent)
    : QObject(parent)
    , m_services(services)
    , m_picNews(controls.picNews)
    , m_tmrNews(controls.tmrNews)
{
    m_lines.append({createLabel(0, 0), 0, OneLineTwips});
    showPlaceholder();
    connect(&m_tmrNews, &QTimer::timeout, this, &NewsTicker::tmrNews_Timer);
    connect(&controls.chkTicker, &QCheckBox::toggled, this, &NewsTicker::chkTicker_Click);
}

QList<QLabel *> NewsTicker::labels() const
{
    QList<QLabel *> result;
    for (const Line &line : m_lines)
        result.append(line.label.data());
    return result;
}

QLabel *NewsTicker::createLabel(int index, int top)
{
    auto *label = new QLabel(&m_picNews);
    label->setObjectName(QStringLiteral("lblNews(%1)").arg(index));
    // Headlines come from a server: shown as they are, never as markup.
    label->setTextFormat(Qt::PlainText);
    // Without tracking, a label hears of the mouse only while a button is held.
    label->setMouseTracking(true);
    label->installEventFilter(this);
    // New elements of the array look like the first one: its colour and its pointer.
    if (!m_lines.isEmpty() && m_lines.first().label) {
        label->setPalette(m_lines.first().label->palette());
        label->setCursor(m_lines.first().label->cursor());
    }
    label->resize(twipsToPixels(m_picNews, LabelWidthTwips), twipsToPixels(m_picNews, OneLineTwips));
    label->move(0, twipsToPixels(m_picNews, top));
    return label;
}

void NewsTicker::place(const Line &line)
{
    if (line.label)
        line.label->move(0, twipsToPixels(m_picNews, line.top));
}

void NewsTicker::sizeToText(Line &line)
{
    QLabel &label = *line.label;
    const int textWidth = label.fontMetrics().horizontalAdvance(label.text());
    const int maxWidth = twipsToPixels(m_picNews, MaxHeadlineWidthTwips);
    const bool twoLines = textWidth > maxWidth;
    label.setWordWrap(twoLines);
    line.height = twoLines ? TwoLinesTwips : OneLineTwips;
    label.resize(twoLines ? maxWidth : textWidth, twipsToPixels(m_picNews, line.height));
}

void NewsTicker::showPlaceholder()
{
    Line &first = m_lines.first();
    if (!first.label)
        return;
    first.label->setText(placeholderText());
    first.label->unsetCursor();
    setTextColour(*first.label, PlaceholderColour);
    first.top = 0;
    sizeToText(first);
    place(first);
}

void NewsTicker::ResetNewsTicker()
{
    m_tmrNews.setInterval(RestInterval);
    m_tmrNews.stop();
    m_newsRunning = false;
    m_headIndex = 0;
    m_stackHeight = 0;
    showPlaceholder();
    while (m_lines.size() > 1) {
        QLabel *label = m_lines.takeLast().label;
        if (!label)
            continue;
        // A reset can come from within a click on one of these labels (the dialog's event loop, the
        // opened link), while the click is still being delivered to it: it goes once that is over.
        label->removeEventFilter(this);
        label->hide();
        label->setObjectName(QString());
        label->deleteLater();
    }
    m_descriptions.clear();
    m_links.clear();
}

void NewsTicker::UpdateNewsTicker()
{
    ResetNewsTicker();
    ErrorTrap trap;
    trap.step([&] {
        if (QLabel *first = m_lines.first().label)
            first->setCursor(Qt::PointingHandCursor);
    });
    trap.step([&] {
        const QString current = modMain::state().NewsTmpPath;
        const QString old = newsOldPath();
        if (!modMain::fileExists(current) && modMain::fileExists(old)) {
            if (!QFile::rename(old, current))
                throw RuntimeError::of(errorNumber::PathFileAccessError);
        } else {
            modMain::deleteIfExists(old);
        }
    });
    trap.step([&] { loadNewsFile(); });
    trap.step([&] {
        m_tmrNews.start();
        m_newsRunning = true;
        if (QLabel *first = m_lines.first().label)
            first->show();
    });
    // Nothing here is worth a report: at worst the placeholder stays and the first tick hides it.
    trap.clear();
}

void NewsTicker::loadNewsFile()
{
    const QString path = modMain::state().NewsTmpPath;
    if (!modMain::fileExists(path))
        return;
    const QList<NewsRecord> records
        = readNewsRecords(TextCodec(modMain::state().AnsiCodePage).decode(modMain::readWholeFile(path)));
    for (const NewsRecord &record : records) {
        Line &line = m_lines.last();
        line.label->setText(record.headline);
        m_descriptions.append(record.description);
        m_links.append(record.link);
        sizeToText(line);
        m_stackHeight += line.height;
        QLabel *spare = createLabel(int(m_lines.size()), m_stackHeight);
        spare->show();
        m_lines.append({spare, m_stackHeight, OneLineTwips});
    }
    // Each headline is followed by a fresh label for the next one; the last of them stays unused.
    if (m_lines.size() > 1) {
        const QString caption = basicText::trimBlanks(m_lines.last().label->text());
        if (caption.isEmpty() || caption == QLatin1String("---"))
            delete m_lines.takeLast().label.data();
    }
}

void NewsTicker::chkTicker_Click(bool ticked)
{
    QLabel *first = m_lines.first().label;
    if (!ticked) {
        if (first)
            first->hide();
        ResetNewsTicker();
    } else if (modMain::fileExists(modMain::state().NewsTmpPath)) {
        UpdateNewsTicker();
        if (first)
            first->show();
    }
}

void NewsTicker::tmrNews_Timer()
{
    QLabel *first = m_lines.first().label;
    if (!first)
        return;
    if (first->text() == placeholderText()) {
        m_newsRunning = false;
        first->hide();
        m_tmrNews.stop();
        return;
    }
    m_tmrNews.setInterval(ScrollInterval);
    for (Line &line : m_lines) {
        line.top -= StepTwips;
        place(line);
    }
    Line &head = m_lines[m_headIndex];
    if (head.top <= -head.height) {
        head.top = m_stackHeight - head.height;
        place(head);
        ++m_headIndex;
        m_tmrNews.setInterval(RestInterval);
    }
    if (m_headIndex >= m_lines.size())
        m_headIndex = 0;
}

void NewsTicker::lblNews_MouseDown(int index)
{
    if (QLabel *label = m_lines.at(index).label)
        setTextColour(*label, QApplication::palette(label).color(QPalette::WindowText));
    // Copies: the dialog below runs its own event loop, in which the ticker may be reloaded.
    const QString description = m_descriptions.value(index);
    const QString link = m_links.value(index);
    // Only a web page is opened: a server's javascript:, file: or local path stays unopened.
    const bool web = links::isWebAddress(QUrl(link, QUrl::StrictMode));
    MessageRequest request;
    request.title = QStringLiteral("News Flash");
    request.text = description;
    request.icon = MessageIcon::Information;
    if (description == QLatin1String("nodesc")) {
        if (web)
            modMain::openDocument(m_services, link);
    } else if (web) {
        request.buttons = MessageButtons::OkCancel;
        if (m_services.dialogs.message(m_picNews.window(), request) == Answer::Ok)
            modMain::openDocument(m_services, link);
        // The mouse is still over the headline; the window resumes the ticker once it leaves.
        return;
    } else {
        m_services.dialogs.message(m_picNews.window(), request);
    }
    m_tmrNews.start();
}

int NewsTicker::indexOf(const QObject *watched) const
{
    for (int i = 0; i < m_lines.size(); ++i) {
        if (m_lines.at(i).label.data() == watched)
            return i;
    }
    return -1;
}

bool NewsTicker::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseMove && type != QEvent::Enter && type != QEvent::MouseButtonPress)
        return QObject::eventFilter(watched, event);
    const int index = indexOf(watched);
    if (index < 0)
        return QObject::eventFilter(watched, event);
    if (type == QEvent::MouseButtonPress) {
        if (m_newsRunning && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            lblNews_MouseDown(index);
        return true;
    }
    m_tmrNews.stop();
    // A move the label left alone would travel on to the panel and the window behind it, whose
    // own mouse-move handlers resume the ticker at once.
    return type == QEvent::MouseMove;
}
