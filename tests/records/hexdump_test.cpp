#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

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

TEST(BSwritehex, WritesTwelveBlanksBeforeEachGroupOfEight) {
  FILE *f = std::tmpfile();
  const unsigned char b[10] = {0, 0, 0, 0, 0, 0, 0xf0, 0x3f, 0xab, 0};  // 1.0 little-endian
  EXPECT_EQ(BSwritehex(f, b, 10), 6 * 4 + 3 * 5 + 4);                   // the images only
  EXPECT_EQ(drain(f), std::string(12, ' ') + " 0x0 0x0 0x0 0x0 0x0 0x0 0xf0 0x3f" +
                          std::string(12, ' ') + " 0xab 0x0\n");
}

TEST(BSreadhex, ReadsSkipsAndStopsAtTheFirstBadImage) {
  const struct {
    const char *text;
    int count;
    bool target;
    int read;
    std::vector<unsigned char> bytes;
  } cases[] = {
      {"junk 0x1f 0xab 0x0 0x7", 8, true, 4, {0x1f, 0xab, 0, 7}},
      {" 0xfffffffffffffff12 0x5", 2, true, 2, {0x12, 5}},  // the low byte of a long image
      {" 0x1 0xzz 0x3", 3, true, 1, {1}},
      {" 0x1 0x", 3, false, 1, {}},
      {"1.5 0x0 0x0 0x0 0x0 0x0", 8, true, 5, {0, 0, 0, 0, 0}},
  };
  for (const auto &c : cases) {
    FILE *f = stream_with(c.text);
    unsigned char b[8] = {};
    EXPECT_EQ(BSreadhex(f, c.target ? b : nullptr, c.count), c.read) << c.text;
    EXPECT_EQ(std::vector<unsigned char>(b, b + c.bytes.size()), c.bytes) << c.text;
    std::fclose(f);
  }
  FILE *f = stream_with(" 0x1 0x2 0x3 next");  // without a target whole words are skipped
  EXPECT_EQ(BSreadhex(f, nullptr, 3), 3);
  char word[8];
  ASSERT_EQ(std::fscanf(f, "%7s", word), 1);
  EXPECT_STREQ(word, "next");
  std::fclose(f);
}

TEST(BSreadd, ReadsNumberWordsAndReportsBadOnes) {
  FILE *f = stream_with("  -2.5E-3\n 17 4.25e+2 1e " + std::string(250, '1') + " abc");
  double v = 0;
  for (double expected : {-2.5e-3, 17.0, 425.0, 1.0}) {  // the leading number of 1e counts
    EXPECT_EQ(BSreadd(f, &v), TRUE);
    EXPECT_EQ(v, expected);
  }
  for (int digits : {199, 51}) {  // at most 199 characters; the rest is the next word
    EXPECT_EQ(BSreadd(f, &v), TRUE);
    EXPECT_DOUBLE_EQ(v, std::stod(std::string(digits, '1')));
  }
  testing::internal::CaptureStderr();
  for (int i = 0; i < 2; ++i) {  // a bad word, then the end of the stream
    v = 5;
    EXPECT_EQ(BSreadd(f, &v), FALSE);
    EXPECT_EQ(v, 0.0);
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "*** error in f_s_BSreadd: String was \"abc\" ***\n*** error in BSreadd ***\n"
            "*** error in BSreadd ***\n");
  std::fclose(f);
}

TEST(BSreadhexd, ModeDecidesBetweenImagesAndDecimal) {
  // Decimal 2.0 carrying the images of 1.5; plain decimals follow, the last one at
  // the end of the stream.
  for (int mode : {1, 2}) {
    FILE *f = stream_with("2.0" + images_of(1.5) + " 9.5\n-1");
    double v[3] = {};
    EXPECT_EQ(BSreadhexd(f, mode, 1, v), TRUE);
    EXPECT_EQ(v[0], mode == 1 ? 1.5 : 2.0);
    EXPECT_EQ(BSreadhexd(f, mode, 1, v + 1), TRUE);
    EXPECT_EQ(BSreadhexd(f, mode, 1, v + 2), TRUE);
    EXPECT_EQ(v[1], 9.5);
    EXPECT_EQ(v[2], -1.0);
    std::fclose(f);
    f = stream_with("1.5 0x0 0x0 0x0 0x0 0x0");  // 5 of 8 images
    EXPECT_EQ(BSreadhexd(f, mode, 1, v), FALSE);
    std::fclose(f);
  }
  FILE *f = stream_with("1 2 3");
  double v[3] = {7, 7, 7};
  EXPECT_EQ(BSreadhexd(f, 3, 1, v), FALSE);  // unknown modes read nothing
  EXPECT_EQ(BSreadhexd(f, -1, 1, v), FALSE);
  EXPECT_EQ(v[0], 7.0);
  EXPECT_EQ(BSreadhexd(f, 0, 3, v), TRUE);
  EXPECT_EQ(v[0] + v[1] * 10 + v[2] * 100, 321.0);
  std::fclose(f);
}

// The look-ahead for images needs a seekable stream; a pipe fails in the image modes.
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
