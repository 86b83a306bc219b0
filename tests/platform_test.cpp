#include <gtest/gtest.h>

#include "pgexceptions.h"
#include "platform.h"

TEST(Platform, HeadlessAnswers) {
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(PGWarningBox("first\r\rsecond", "Warning", true));
  EXPECT_EQ(PGPlatform().WarningBox("Go on?", "Question", pgbYesNo), pgaYes);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Warning: first\n\nsecond\nQuestion: Go on?\n");
  EXPECT_FALSE(PGPlatform().ClipboardHasFormat(CF_DIB));
  EXPECT_THROW(PGPlatform().SetClipboardData(CF_DIB, {1}), EPixelGraphic);
  EXPECT_EQ(PGPlatform().Printer(), nullptr);
}
