#include "grflist.h"

#include "cfgrules.h"
#include "common/modmain.h"
#include "editortext.h"
#include "platform/dialogs.h"

#include <QDir>
#include <QKeyEvent>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTextCharFormat>
#include <QTextCursor>

namespace {

constexpr int QuestionDeleteGrf = 171;

// The list names files of the folder only; a name that could reach outside it is never deleted.
bool isPlainName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && name != QLatin1String(".")
        && name != QLatin1String("..");
}

} // namespace

GrfList::GrfList(QListWidget &flbGrf, QPlainTextEdit &rtbGrf, Dialogs &dialogs, QWidget *dialogParent, QObject *parent)
    : QObject(parent)
    , m_flbGrf(flbGrf)
    , m_rtbGrf(rtbGrf)
    , m_dialogs(dialogs)
    , m_dialogParent(dialogParent)
{
    connect(&m_flbGrf, &QListWidget::itemDoubleClicked, this, &GrfList::addToList);
    m_flbGrf.installEventFilter(this);
}

void GrfList::fill(QListWidget &flbGrf, const QString &folder)
{
    flbGrf.clear();
    flbGrf.setProperty("folder", folder);
    if (folder.isEmpty())
        return;
    // Picked out here: Qt makes a regular expression of a name filter, which costs more than the names.
    QStringList files = QDir(folder).entryList(QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase);
    files.removeIf([](const QString &name) { return !name.endsWith(QLatin1String(".grf"), Qt::CaseInsensitive); });
    flbGrf.addItems(files);
}

void GrfList::addToList(QListWidgetItem *item)
{
    if (item == nullptr)
        return;
    EditorText list(m_rtbGrf);
    // One undo step for the person, though the text is replaced three times.
    QTextCursor block(m_rtbGrf.document());
    block.beginEditBlock();
    // The whole text is replaced, so no line keeps its colour; left alone, every line would take
    // the colour of the last character and the new entry could look disabled.
    block.select(QTextCursor::Document);
    block.setCharFormat(QTextCharFormat());
    block.setBlockCharFormat(QTextCharFormat());
    list.setText(list.text() + QLatin1String("\r\nnewgrf/") + item->text());
    // Twice, so that the entry follows the last one directly whether or not the text ended with a
    // line break; blank lines elsewhere thin out as a side effect.
    list.setText(cfgRules::thinLineBreaks(list.text()));
    list.setText(cfgRules::thinLineBreaks(list.text()));
    block.endEditBlock();
}

void GrfList::deleteSelected()
{
    const QList<QListWidgetItem *> selected = m_flbGrf.selectedItems();
    if (selected.isEmpty())
        return;
    const QString name = selected.first()->text();
    const QString folder = m_flbGrf.property("folder").toString();
    MessageRequest question;
    question.title = modMain::ProductName;
    question.text = modMain::uiText(QuestionDeleteGrf);
    question.icon = MessageIcon::Question;
    question.buttons = MessageButtons::YesNo;
    if (m_dialogs.message(m_dialogParent, question) == Answer::Yes && !folder.isEmpty() && isPlainName(name))
        modMain::deleteIfExists(QDir(folder).filePath(name));
    m_flbGrf.clearSelection();
    fill(m_flbGrf, folder);
}

bool GrfList::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &m_flbGrf && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete) {
        deleteSelected();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
