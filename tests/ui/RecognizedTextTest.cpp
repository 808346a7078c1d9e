#include "ui/RecognizedText.h"
#include "FakeDesktop.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace vistrel;
using vistrel::test::drain;

TEST(RecognizedText, OneOutcomeForEveryCaller)
{
    FakeDesktop desktop;
    desktop.clipboardText = "before";
    RecognizedText::deliver(QStringLiteral("héllo\nworld"), desktop.platform(),
                            QStringLiteral("Copied %1 chars"));
    EXPECT_EQ(desktop.clipboardText, "héllo\nworld");
    EXPECT_EQ(desktop.toastTexts, QStringList{"Copied 11 chars"});

    RecognizedText::deliver(QStringLiteral(" \n "), desktop.platform());
    EXPECT_EQ(desktop.toastTexts.last(), "No text found");
    EXPECT_EQ(desktop.clipboardText, "héllo\nworld");

    // A failure names its cause in an alert, and is never "No text found".
    RecognizedText::deliver(CaptureError::failed("Text recognition needs the English model"),
                            desktop.platform());
    drain();
    EXPECT_EQ(desktop.toastTexts.size(), 2);
    ASSERT_EQ(desktop.warnings.size(), 1);
    EXPECT_TRUE(desktop.warnings.first().second.contains("English model"));
    EXPECT_EQ(desktop.clipboardText, "héllo\nworld");
}
