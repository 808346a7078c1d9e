#include "ui/EditorExport.h"

#include <gtest/gtest.h>

using namespace vistrel;

TEST(EditorExport, SaveSettingsFollowTheChosenFormatAndTheNameBase)
{
    SaveSettings preferences;
    preferences.folder = QStringLiteral("/tmp/shots");
    preferences.withoutAsking = true;
    const QDate day(2026, 3, 4);
    int scenesTaken = 0;
    const auto scene = [&] {
        ++scenesTaken;
        EditorScene s;
        s.image = QImage(3, 2, QImage::Format_RGB32);
        return s;
    };

    // Original and Transparent: PNG first, no work in the file, the preferences kept.
    for (int format : {int(ExportChoice::Original), int(ExportChoice::Transparent)}) {
        const SaveSettings s =
            EditorExport::settingsFor(format, preferences, std::nullopt, day, scene);
        EXPECT_FALSE(s.preferPdf) << format;
        EXPECT_FALSE(s.editable) << format;
        EXPECT_FALSE(s.suggestedBase) << format;
        EXPECT_EQ(s.folder, preferences.folder);
        EXPECT_TRUE(s.withoutAsking);
    }
    EXPECT_EQ(scenesTaken, 0); // the work is gathered only for an editable PNG

    const SaveSettings pdf = EditorExport::settingsFor(
        ExportChoice::PDF, preferences, QStringLiteral("flight-booking"), day, scene);
    EXPECT_TRUE(pdf.preferPdf);
    EXPECT_FALSE(pdf.editable);
    EXPECT_EQ(pdf.suggestedBase, QStringLiteral("flight-booking 2026-03-04"));

    const SaveSettings editable =
        EditorExport::settingsFor(ExportChoice::EditablePng, preferences, std::nullopt, day, scene);
    EXPECT_FALSE(editable.preferPdf);
    ASSERT_TRUE(editable.editable);
    EXPECT_EQ(editable.editable->image.size(), QSize(3, 2));
    EXPECT_EQ(scenesTaken, 1);
}
