#include "frame/frame.h"

#include <gtest/gtest.h>

namespace {

const char kPattern[] = "Exception %s in module %s at %p.\n%s%s";

std::string Body(std::string_view message, uint32_t location = 0x1A2B) {
  char out[frame::kMaxReportBody + 1];
  size_t n = frame::FormatReportBody(kPattern, "ERegistryException", "authreg",
                                     location, message, out);
  EXPECT_EQ(n, strlen(out));
  return out;
}

TEST(ReportTest, FullStopRule) {
  const std::string head = "Exception ERegistryException in module authreg at 00001A2B.\n";
  EXPECT_EQ(Body("'Author' failed"), head + "'Author' failed.");
  EXPECT_EQ(Body("ends."), head + "ends.");
  EXPECT_EQ(Body(""), head);
  // Only byte 0x2E counts: the Japanese full stop gets one after it.
  EXPECT_EQ(Body("\xE3\x80\x82"), head + "\xE3\x80\x82.");
  EXPECT_EQ(Body("x", 0xDEADBEEF).substr(50, 10), "DEADBEEF.\n");
}

TEST(ReportTest, BodyIsCutAfter1023Bytes) {
  std::string long_message(2000, 'm');
  std::string body = Body(long_message);
  ASSERT_EQ(body.size(), 1023u);
  EXPECT_EQ(body.back(), 'm');
  std::string exact(1023 - 60, 'm');  // the full stop would be byte 1024
  EXPECT_EQ(Body(exact).size(), 1023u);
  EXPECT_EQ(Body(exact).back(), 'm');
}

bool ShiftJisLead(unsigned char b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

TEST(ReportTest, ModuleFileName) {
  EXPECT_EQ(frame::ModuleFileName("/usr/bin/authreg", '/', nullptr), "authreg");
  EXPECT_EQ(frame::ModuleFileName("/opt/a\\b", '/', nullptr), "a\\b");
  EXPECT_EQ(frame::ModuleFileName("authreg", '/', nullptr), "authreg");
  EXPECT_EQ(frame::ModuleFileName("C:\\Apps\\tool.exe", '\\', ShiftJisLead), "tool.exe");
  // 0x95 0x5C is one character, so that 0x5C is no separator.
  EXPECT_EQ(frame::ModuleFileName("C:\\Apps\\\x95\x5Ctool.exe", '\\', ShiftJisLead),
            "\x95\x5Ctool.exe");
}

}  // namespace
