#include "ui/EditorQuestions.h"

#include <QPushButton>

namespace vistrel {

EditorQuestions::EditorQuestions(const Platform &platform, QObject *parent)
    : QObject(parent), m_platform(platform)
{
}

EditorQuestions::~EditorQuestions() = default;

void EditorQuestions::askBeforeClose(QWidget *window)
{
    if (m_closeQuestion) {
        m_closeQuestion->raise();
        return;
    }
    auto *box =
        new QMessageBox(QMessageBox::Warning, tr("Vistrel — Unsaved Marks"),
                        tr("Keep the marks on this capture?"), QMessageBox::NoButton, window);
    box->setInformativeText(tr("They are lost if you close without saving or copying."));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QPushButton *save = box->addButton(tr("&Save…"), QMessageBox::AcceptRole);
    QPushButton *copy = box->addButton(tr("&Copy and Close"), QMessageBox::ActionRole);
    QPushButton *discard = box->addButton(tr("&Discard"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(save);
    box->setEscapeButton(cancel);
    m_closeQuestion = box;
    connect(box, &QMessageBox::buttonClicked, this,
            [this, save, copy, discard](QAbstractButton *button) {
                emit closeAnswered(button == save      ? CloseAnswer::Save
                                   : button == copy    ? CloseAnswer::CopyAndClose
                                   : button == discard ? CloseAnswer::Discard
                                                       : CloseAnswer::Cancel);
            });
    box->open();
}

Question EditorQuestions::uncheckedShareQuestion(const QString &error)
{
    return {tr("Vistrel — Picture Not Checked"),
            tr("The picture could not be checked for secrets. %1").arg(error),
            {tr("Share Anyway"), tr("Cancel")},
            1,
            1};
}

EditorQuestions::ShareAnswer EditorQuestions::uncheckedShareAnswer(int choice)
{
    return choice == 0 ? ShareAnswer::ShareAnyway : ShareAnswer::Cancel;
}

Question EditorQuestions::secretsShareQuestion(const QList<PlacedFinding> &secrets)
{
    return {tr("Vistrel — Secrets in the Picture"),
            tr("The picture shows %1 that no redaction covers.").arg(Redaction::tally(secrets)),
            {tr("Redact and Share"), tr("Share Anyway"), tr("Cancel")},
            0,
            2};
}

EditorQuestions::ShareAnswer EditorQuestions::secretsShareAnswer(int choice)
{
    switch (choice) {
    case 0:
        return ShareAnswer::RedactAndShare;
    case 1:
        return ShareAnswer::ShareAnyway;
    default:
        return ShareAnswer::Cancel;
    }
}

void EditorQuestions::askShareUnchecked(const QString &error,
                                        std::function<void(ShareAnswer)> answered)
{
    ask(uncheckedShareQuestion(error), &EditorQuestions::uncheckedShareAnswer, std::move(answered));
}

void EditorQuestions::askShareSecrets(const QList<PlacedFinding> &secrets,
                                      std::function<void(ShareAnswer)> answered)
{
    ask(secretsShareQuestion(secrets), &EditorQuestions::secretsShareAnswer, std::move(answered));
}

void EditorQuestions::ask(const Question &question, ShareAnswer (*meaning)(int),
                          std::function<void(ShareAnswer)> answered)
{
    // The answer may come after the editor closed: then nobody hears it.
    QPointer<EditorQuestions> self(this);
    m_platform.alerts->ask(question, [self, meaning, answered](int choice) {
        if (self && answered)
            answered(meaning(choice));
    });
}

} // namespace vistrel
