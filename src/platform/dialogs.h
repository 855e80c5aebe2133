#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QDialog;
class QWidget;

// Everything modal that a person answers goes through this seam, so that tests can script the
// answers and check what was asked. Nothing outside platform/ opens a message box or file dialog.

enum class MessageIcon { None, Critical, Question, Exclamation, Information };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Answer { None, Ok, Cancel, Yes, No };

struct MessageRequest {
    QString title;
    QString text;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    Answer defaultButton = Answer::None; // None: the first button
};

class Dialogs {
public:
    virtual ~Dialogs() = default;

    virtual Answer message(QWidget *parent, const MessageRequest &request) = 0;
    // Empty optional when the person cancels.
    virtual std::optional<QString> inputBox(
        QWidget *parent, const QString &title, const QString &prompt, const QString &initial)
        = 0;
    // Empty text when the person cancels.
    virtual QString openFile(QWidget *parent, const QString &title, const QString &folder, const QString &filter) = 0;
    virtual QString browseFolder(QWidget *parent, const QString &caption, const QString &start) = 0;
    // Shows a form modally and returns its QDialog result once it is closed or hidden.
    virtual int showModal(QDialog &dialog) = 0;
};

class QtDialogs final : public Dialogs {
public:
    Answer message(QWidget *parent, const MessageRequest &request) override;
    std::optional<QString> inputBox(
        QWidget *parent, const QString &title, const QString &prompt, const QString &initial) override;
    QString openFile(QWidget *parent, const QString &title, const QString &folder, const QString &filter) override;
    QString browseFolder(QWidget *parent, const QString &caption, const QString &start) override;
    int showModal(QDialog &dialog) override;
};

// Answers from a queue and records every prompt. A prompt with nothing queued gets the neutral
// answer (the default button, no text, a modal form closed at once) and is still recorded.
class ScriptedDialogs final : public Dialogs {
public:
    enum class Kind { Message, Input, OpenFile, BrowseFolder, Modal };
    struct Prompt {
        Kind kind = Kind::Message;
        QString title;
        QString text;
        MessageIcon icon = MessageIcon::None;
        MessageButtons buttons = MessageButtons::Ok;
        Answer defaultButton = Answer::None;
        QString formName; // objectName of a form shown modally
    };
    using FormScript = std::function<void(QDialog &)>;

    void queueAnswer(Answer answer);
    void queueText(std::optional<QString> text);
    // Runs while the form is shown; it acts on the form as a person would (clicks, typing).
    void queueForm(FormScript script);

    const QList<Prompt> &prompts() const { return m_prompts; }
    QList<Prompt> takePrompts();
    int pendingAnswers() const;

    Answer message(QWidget *parent, const MessageRequest &request) override;
    std::optional<QString> inputBox(
        QWidget *parent, const QString &title, const QString &prompt, const QString &initial) override;
    QString openFile(QWidget *parent, const QString &title, const QString &folder, const QString &filter) override;
    QString browseFolder(QWidget *parent, const QString &caption, const QString &start) override;
    int showModal(QDialog &dialog) override;

private:
    std::optional<QString> nextText();

    QList<Prompt> m_prompts;
    QList<Answer> m_answers;
    QList<std::optional<QString>> m_texts;
    QList<FormScript> m_forms;
};
