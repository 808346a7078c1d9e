#include "services/OCRService.h"

#include <gtest/gtest.h>

using namespace vistrel;

TEST(OCRService, Placeholder)
{
    EXPECT_EQ(OCRService::languageSpec({}), "eng");
}
