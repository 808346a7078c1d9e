#include "ui/EditorQuestions.h"
#include "FakeDesktop.h"
#include "TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace vistrel;
using Answer = EditorQuestions::ShareAnswer;

namespace {

// The outcome of the choice titled `title`, as the user reads it.
Answer answerFor(const Question &question, Answer (*meaning)(int), const QString &title)
{
    const int choice = int(question.choices.indexOf(title));
    EXPECT_GE(choice, 0) << title.toStdString();
    return meaning(choice);
}

} // namespace

TEST(EditorQuestions, EachShareChoiceMeansWhatItsTitleSays)
{
    const Question unchecked = EditorQuestions::uncheckedShareQuestion(QStringLiteral("No OCR."));
    EXPECT_TRUE(unchecked.message.endsWith(QLatin1String("No OCR.")));
    EXPECT_EQ(answerFor(unchecked, EditorQuestions::uncheckedShareAnswer, "Share Anyway"),
              Answer::ShareAnyway);
    EXPECT_EQ(answerFor(unchecked, EditorQuestions::uncheckedShareAnswer, "Cancel"),
              Answer::Cancel);
    // Closed without a button, and the default: nothing goes up unchecked.
    EXPECT_EQ(EditorQuestions::uncheckedShareAnswer(unchecked.cancelChoice), Answer::Cancel);
    EXPECT_EQ(EditorQuestions::uncheckedShareAnswer(unchecked.defaultChoice), Answer::Cancel);

    const Question secrets = EditorQuestions::secretsShareQuestion({});
    EXPECT_EQ(answerFor(secrets, EditorQuestions::secretsShareAnswer, "Redact and Share"),
              Answer::RedactAndShare);
    EXPECT_EQ(answerFor(secrets, EditorQuestions::secretsShareAnswer, "Share Anyway"),
              Answer::ShareAnyway);
    EXPECT_EQ(answerFor(secrets, EditorQuestions::secretsShareAnswer, "Cancel"), Answer::Cancel);
    EXPECT_EQ(EditorQuestions::secretsShareAnswer(secrets.cancelChoice), Answer::Cancel);
    EXPECT_EQ(EditorQuestions::secretsShareAnswer(-1), Answer::Cancel);

    // An answer that arrives after the editor went is heard by nobody.
    FakeDesktop desktop;
    int heard = 0;
    {
        EditorQuestions questions(desktop.platform());
        questions.askShareUnchecked(QStringLiteral("No OCR."), [&](Answer) { ++heard; });
    }
    ASSERT_EQ(desktop.questions.size(), 1);
    desktop.pendingAnswer(0);
    EXPECT_EQ(heard, 0);
}

TEST(EditorQuestions, TheCloseQuestionIsAskedOnceAndEachButtonAnswers)
{
    FakeDesktop desktop;
    QWidget window;
    window.show();
    EditorQuestions questions(desktop.platform());
    QList<EditorQuestions::CloseAnswer> answers;
    QObject::connect(&questions, &EditorQuestions::closeAnswered,
                     [&](EditorQuestions::CloseAnswer a) { answers.append(a); });

    using Close = EditorQuestions::CloseAnswer;
    const QList<std::pair<QString, Close>> buttons{{"&Save…", Close::Save},
                                                   {"&Copy and Close", Close::CopyAndClose},
                                                   {"&Discard", Close::Discard},
                                                   {"Cancel", Close::Cancel}};
    for (const auto &[title, expected] : buttons) {
        questions.askBeforeClose(&window);
        QMessageBox *box = questions.closeQuestion();
        ASSERT_TRUE(box);
        questions.askBeforeClose(&window); // a second close brings up the same question
        EXPECT_EQ(questions.closeQuestion(), box);
        EXPECT_EQ(box->defaultButton()->text(), "&Save…");
        QAbstractButton *button = nullptr;
        for (QAbstractButton *b : box->buttons())
            if (b->text() == title)
                button = b;
        ASSERT_TRUE(button) << title.toStdString();
        button->click();
        vistrel::test::drain();
        ASSERT_FALSE(answers.isEmpty()) << title.toStdString();
        EXPECT_EQ(answers.takeLast(), expected) << title.toStdString();
        EXPECT_TRUE(answers.isEmpty());
        EXPECT_FALSE(questions.closeQuestion()); // answered: gone
    }
}
