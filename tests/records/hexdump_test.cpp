#include <unistd.h>

#include <bit>
#include <cstring>
#include <string>

#include "record_fixtures.hpp"
#include "support.hpp"

namespace {

using kwtest::drain;
using kwtest::stream_with;

std::string images_of(double v) {
  FILE *f = std::tmpfile();
  unsigned char b[8];
  std::memcpy(b, &v, 8);
  BSwritehex(f, b, 8);
  return drain(f);
}

TEST(BSwritehex, WritesOneAsTwelveBlanksAndEightImages) {
  if constexpr (std::endian::native != std::endian::little) GTEST_SKIP();
  FILE *f = std::tmpfile();
  const double one = 1.0;
  unsigned char b[8];
  std::memcpy(b, &one, 8);
  EXPECT_EQ(BSwritehex(f, b, 8), 6 * 4 + 2 * 5);
  EXPECT_EQ(drain(f), "            " + std::string(" 0x0 0x0 0x0 0x0 0x0 0x0") + " 0xf0 0x3f\n");
}

TEST(BSwritehex, KeepsGroupsOfEightOnOneLine) {
  FILE *f = std::tmpfile();
  unsigned char b[10] = {1, 2, 3, 4, 5, 6, 7, 8, 0xab, 0};
  EXPECT_EQ(BSwritehex(f, b, 10), 8 * 4 + 5 + 4);
  EXPECT_EQ(drain(f), "             0x1 0x2 0x3 0x4 0x5 0x6 0x7 0x8             0xab 0x0\n");
}

TEST(BSreadhex, ReadsImagesAndStopsAtTheEnd) {
  FILE *f = stream_with("junk 0x1f 0xab 0x0 0x7");
  unsigned char b[8] = {};
  EXPECT_EQ(BSreadhex(f, b, 8), 4);
  EXPECT_EQ(b[0], 0x1f);
  EXPECT_EQ(b[1], 0xab);
  EXPECT_EQ(b[2], 0);
  EXPECT_EQ(b[3], 7);
  std::fclose(f);
}

TEST(BSreadhex, KeepsLowByteOfOversizedImage) {
  FILE *f = stream_with(" 0xfffffffffffffff12 0x5");
  unsigned char b[2] = {};
  EXPECT_EQ(BSreadhex(f, b, 2), 2);
  EXPECT_EQ(b[0], 0x12);
  EXPECT_EQ(b[1], 5);
  std::fclose(f);
}

TEST(BSreadhex, MalformedImageEndsEarly) {
  FILE *f = stream_with(" 0x1 0xzz 0x3");
  unsigned char b[3] = {};
  EXPECT_EQ(BSreadhex(f, b, 3), 1);
  std::fclose(f);
  f = stream_with(" 0x1 0x");
  EXPECT_EQ(BSreadhex(f, nullptr, 3), 1);
  std::fclose(f);
}

TEST(BSreadhex, SkipsImagesWithoutTarget) {
  FILE *f = stream_with(" 0x1 0x2 0x3 next");
  EXPECT_EQ(BSreadhex(f, nullptr, 3), 3);
  char word[8];
  ASSERT_EQ(std::fscanf(f, "%7s", word), 1);
  EXPECT_STREQ(word, "next");
  std::fclose(f);
}

TEST(BSreadd, ReadsDecimalAndExponentForms) {
  FILE *f = stream_with("  -2.5E-3\n 17 4.25e+2 1e");
  double v = 0;
  EXPECT_EQ(BSreadd(f, &v), TRUE);
  EXPECT_EQ(v, -2.5e-3);
  EXPECT_EQ(BSreadd(f, &v), TRUE);
  EXPECT_EQ(v, 17.0);
  EXPECT_EQ(BSreadd(f, &v), TRUE);
  EXPECT_EQ(v, 425.0);
  EXPECT_EQ(BSreadd(f, &v), TRUE);  // the leading number of the word counts
  EXPECT_EQ(v, 1.0);
  std::fclose(f);
}

TEST(BSreadd, BadWordGivesZeroFalseAndMessages) {
  FILE *f = stream_with("abc");
  double v = 5;
  testing::internal::CaptureStderr();
  EXPECT_EQ(BSreadd(f, &v), FALSE);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "*** error in f_s_BSreadd: String was \"abc\" ***\n*** error in BSreadd ***\n");
  EXPECT_EQ(v, 0.0);
  v = 5;
  testing::internal::CaptureStderr();
  EXPECT_EQ(BSreadd(f, &v), FALSE);  // at the end now
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "*** error in BSreadd ***\n");
  EXPECT_EQ(v, 0.0);
  std::fclose(f);
}

TEST(BSreadd, TakesAtMost199CharactersOfAWord) {
  const std::string digits(250, '1');
  FILE *f = stream_with(digits);
  double v = 0;
  EXPECT_EQ(BSreadd(f, &v), TRUE);
  EXPECT_DOUBLE_EQ(v, std::stod(std::string(199, '1')));
  EXPECT_EQ(BSreadd(f, &v), TRUE);  // the rest of the word follows
  EXPECT_DOUBLE_EQ(v, std::stod(std::string(51, '1')));
  std::fclose(f);
}

TEST(BSreadhexd, ModeOneTakesImagesModeTwoTheDecimal) {
  if constexpr (std::endian::native != std::endian::little) GTEST_SKIP();
  const std::string text = "1.5 0x0 0x0 0x0 0x0 0x0 0x0 0xf8 0x3f\n";
  FILE *f = stream_with(text);
  double v = 0;
  EXPECT_EQ(BSreadhexd(f, 1, 1, &v), TRUE);
  EXPECT_EQ(v, 1.5);
  std::fclose(f);
  // Decimal 2.0 carrying the images of 1.5: the mode decides which is taken.
  f = stream_with("2.0" + images_of(1.5) + " 9.5");
  EXPECT_EQ(BSreadhexd(f, 1, 1, &v), TRUE);
  EXPECT_EQ(v, 1.5);
  std::fclose(f);
  f = stream_with("2.0" + images_of(1.5) + " 9.5");
  EXPECT_EQ(BSreadhexd(f, 2, 1, &v), TRUE);
  EXPECT_EQ(v, 2.0);
  EXPECT_EQ(BSreadhexd(f, 2, 1, &v), TRUE);  // images consumed, plain number next
  EXPECT_EQ(v, 9.5);
  std::fclose(f);
}

TEST(BSreadhexd, ImagesCarryEveryBit) {
  const double v0 = 0.1 + 0.2;  // not exact in 16 decimals
  char text[64];
  std::snprintf(text, sizeof text, "%.15e", v0);
  FILE *f = stream_with(text + images_of(v0));
  double v = 0;
  EXPECT_EQ(BSreadhexd(f, 1, 1, &v), TRUE);
  EXPECT_EQ(std::memcmp(&v, &v0, 8), 0);
  std::fclose(f);
}

TEST(BSreadhexd, PlainDecimalInImageModesReadsDecimal) {
  for (int mode : {1, 2}) {
    FILE *f = stream_with(" 3.25 4.5\n-1");
    double v[3] = {};
    EXPECT_EQ(BSreadhexd(f, mode, 1, v), TRUE);
    EXPECT_EQ(BSreadhexd(f, mode, 1, v + 1), TRUE);
    EXPECT_EQ(BSreadhexd(f, mode, 1, v + 2), TRUE);  // the last word of the stream
    EXPECT_EQ(v[0], 3.25);
    EXPECT_EQ(v[1], 4.5);
    EXPECT_EQ(v[2], -1.0);
    std::fclose(f);
  }
  FILE *f = stream_with("1 2 3");
  double v[3];
  EXPECT_EQ(BSreadhexd(f, 0, 3, v), TRUE);
  EXPECT_EQ(v[2], 3.0);
  std::fclose(f);
}

TEST(BSreadhexd, TruncatedImagesFail) {
  FILE *f = stream_with("1.5 0x0 0x0 0x0 0x0 0x0");
  unsigned char b[8];
  ASSERT_EQ(std::fscanf(f, "%*s"), 0);
  EXPECT_EQ(BSreadhex(f, b, 8), 5);
  std::fclose(f);
  for (int mode : {1, 2}) {
    f = stream_with("1.5 0x0 0x0 0x0 0x0 0x0");
    double v;
    EXPECT_EQ(BSreadhexd(f, mode, 1, &v), FALSE);
    std::fclose(f);
  }
}

TEST(BSreadhexd, UnknownModeReadsNothing) {
  FILE *f = stream_with("1.0");
  double v = 7;
  EXPECT_EQ(BSreadhexd(f, 3, 1, &v), FALSE);
  EXPECT_EQ(BSreadhexd(f, -1, 1, &v), FALSE);
  EXPECT_EQ(v, 7.0);
  EXPECT_EQ(BSreadhexd(f, 0, 1, &v), TRUE);  // nothing was consumed
  EXPECT_EQ(v, 1.0);
  std::fclose(f);
}

TEST(BSreadhexd, UnseekableStreamFailsInImageModes) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], "1.5 2.5\n", 8), 8);
  close(fds[1]);
  FILE *f = fdopen(fds[0], "r");
  double v = 0;
  EXPECT_EQ(BSreadhexd(f, 1, 1, &v), FALSE);
  EXPECT_EQ(BSreadhexd(f, 0, 1, &v), TRUE);  // plain mode needs no look-ahead
  EXPECT_EQ(v, 1.5);
  std::fclose(f);
}

}  // namespace
