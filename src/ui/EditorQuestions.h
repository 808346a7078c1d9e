#pragma once

#include "engines/Redaction.h"
#include "platform/Desktop.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <functional>

class QAbstractButton;

namespace vistrel {

// The questions the editor asks before work may be lost or a picture leaves with secrets:
// closing with unsaved marks, and sharing a picture that could not be checked or shows
// secrets no redaction covers. Each ends in one answer; the editor acts on it.
class EditorQuestions : public QObject
{
    Q_OBJECT
public:
    enum class CloseAnswer { Save, CopyAndClose, Discard, Cancel };
    enum class ShareAnswer { RedactAndShare, ShareAnyway, Cancel };

    explicit EditorQuestions(const Platform &platform, QObject *parent = nullptr);
    ~EditorQuestions() override;

    // Asks what becomes of unsaved marks, modal to `window`; the answer comes as
    // `closeAnswered`. While the question is open, asking again brings it to the front.
    void askBeforeClose(QWidget *window);
    // The close question, while it is open.
    QMessageBox *closeQuestion() const { return m_closeQuestion; }

    // The picture could not be checked for secrets, for `error`: share anyway or not.
    void askShareUnchecked(const QString &error, std::function<void(ShareAnswer)> answered);
    // The picture shows `secrets`: redact them first, share anyway, or not.
    void askShareSecrets(const QList<PlacedFinding> &secrets,
                         std::function<void(ShareAnswer)> answered);

    // The share questions as asked, and what their choices mean.
    static Question uncheckedShareQuestion(const QString &error);
    static ShareAnswer uncheckedShareAnswer(int choice);
    static Question secretsShareQuestion(const QList<PlacedFinding> &secrets);
    static ShareAnswer secretsShareAnswer(int choice);

signals:
    void closeAnswered(vistrel::EditorQuestions::CloseAnswer answer);

private:
    void ask(const Question &question, ShareAnswer (*meaning)(int),
             std::function<void(ShareAnswer)> answered);

    Platform m_platform;
    QPointer<QMessageBox> m_closeQuestion;
};

} // namespace vistrel
