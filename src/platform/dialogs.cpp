#include "dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace {

QMessageBox::Icon toQt(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Critical: return QMessageBox::Critical;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::Exclamation: return QMessageBox::Warning;
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

QList<Answer> buttonsOf(MessageButtons buttons)
{
    switch (buttons) {
    case MessageButtons::Ok: return {Answer::Ok};
    case MessageButtons::OkCancel: return {Answer::Ok, Answer::Cancel};
    case MessageButtons::YesNo: return {Answer::Yes, Answer::No};
    case MessageButtons::YesNoCancel: return {Answer::Yes, Answer::No, Answer::Cancel};
    }
    return {Answer::Ok};
}

QMessageBox::StandardButton toQt(Answer answer)
{
    switch (answer) {
    case Answer::Ok: return QMessageBox::Ok;
    case Answer::Cancel: return QMessageBox::Cancel;
    case Answer::Yes: return QMessageBox::Yes;
    case Answer::No: return QMessageBox::No;
    case Answer::None: break;
    }
    return QMessageBox::NoButton;
}

Answer effectiveDefault(const MessageRequest &request)
{
    const QList<Answer> offered = buttonsOf(request.buttons);
    return offered.contains(request.defaultButton) ? request.defaultButton : offered.first();
}

// The interface texts break lines with CR LF; a label shows that as one break, not two.
QString displayText(QString text)
{
    return text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

} // namespace

Answer QtDialogs::message(QWidget *parent, const MessageRequest &request)
{
    QMessageBox box(toQt(request.icon), request.title, displayText(request.text), QMessageBox::NoButton, parent);
    // News descriptions and release texts come from a server: shown as they are, never as markup.
    box.setTextFormat(Qt::PlainText);
    for (Answer answer : buttonsOf(request.buttons))
        box.addButton(toQt(answer));
    box.setDefaultButton(toQt(effectiveDefault(request)));
    const int result = box.exec();
    for (Answer answer : buttonsOf(request.buttons)) {
        if (result == toQt(answer))
            return answer;
    }
    // Closed with Escape or the title bar: Windows answers Cancel or, without it, the default.
    const QList<Answer> offered = buttonsOf(request.buttons);
    return offered.contains(Answer::Cancel) ? Answer::Cancel : effectiveDefault(request);
}

std::optional<QString> QtDialogs::inputBox(
    QWidget *parent, const QString &title, const QString &prompt, const QString &initial)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parent, title, displayText(prompt), QLineEdit::Normal, initial, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

QString QtDialogs::openFile(QWidget *parent, const QString &title, const QString &folder, const QString &filter)
{
    return QFileDialog::getOpenFileName(parent, title, folder, filter);
}

QString QtDialogs::browseFolder(QWidget *parent, const QString &caption, const QString &start)
{
    return QFileDialog::getExistingDirectory(parent, caption, start);
}

int QtDialogs::showModal(QDialog &dialog)
{
    return dialog.exec();
}

void ScriptedDialogs::queueAnswer(Answer answer)
{
    m_answers.append(answer);
}

void ScriptedDialogs::queueText(std::optional<QString> text)
{
    m_texts.append(std::move(text));
}

void ScriptedDialogs::queueForm(FormScript script)
{
    m_forms.append(std::move(script));
}

QList<ScriptedDialogs::Prompt> ScriptedDialogs::takePrompts()
{
    return std::exchange(m_prompts, {});
}

int ScriptedDialogs::pendingAnswers() const
{
    return int(m_answers.size() + m_texts.size() + m_forms.size());
}

Answer ScriptedDialogs::message(QWidget *, const MessageRequest &request)
{
    m_prompts.append(
        {Kind::Message, request.title, request.text, request.icon, request.buttons, request.defaultButton, {}});
    if (m_answers.isEmpty())
        return effectiveDefault(request);
    return m_answers.takeFirst();
}

std::optional<QString> ScriptedDialogs::nextText()
{
    if (m_texts.isEmpty())
        return std::nullopt;
    return m_texts.takeFirst();
}

std::optional<QString> ScriptedDialogs::inputBox(
    QWidget *, const QString &title, const QString &prompt, const QString &)
{
    m_prompts.append({Kind::Input, title, prompt, MessageIcon::None, MessageButtons::OkCancel, Answer::Ok, {}});
    return nextText();
}

QString ScriptedDialogs::openFile(QWidget *, const QString &title, const QString &folder, const QString &)
{
    m_prompts.append({Kind::OpenFile, title, folder, MessageIcon::None, MessageButtons::OkCancel, Answer::Ok, {}});
    return nextText().value_or(QString());
}

QString ScriptedDialogs::browseFolder(QWidget *, const QString &caption, const QString &start)
{
    m_prompts.append({Kind::BrowseFolder, caption, start, MessageIcon::None, MessageButtons::OkCancel, Answer::Ok, {}});
    return nextText().value_or(QString());
}

int ScriptedDialogs::showModal(QDialog &dialog)
{
    dialog.setResult(0);
    dialog.show();
    QApplication::processEvents();
    // Recorded after showing: forms put their captions on when they are activated.
    m_prompts.append({Kind::Modal, dialog.windowTitle(), {}, MessageIcon::None, MessageButtons::Ok, Answer::None,
        dialog.objectName()});
    if (!m_forms.isEmpty())
        m_forms.takeFirst()(dialog);
    // A form the script left open is ended as a person ending it would, if it lets them.
    if (dialog.isVisible())
        dialog.reject();
    if (dialog.isVisible())
        dialog.done(QDialog::Rejected);
    return dialog.result();
}
