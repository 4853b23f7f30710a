#include <unistd.h>

#include "record_fixtures.hpp"
#include "support.hpp"

namespace {

using kwtest::drain;
using kwtest::stream_with;
using namespace std::string_literals;

TEST(BSwritehex, WritesTwelveBlanksBeforeEachGroupOfEight) {
  FILE *f = std::tmpfile();
  const unsigned char b[10] = {0, 0, 0, 0, 0, 0, 0xf0, 0x3f, 0xab, 0};  // 1.0 little-endian
  EXPECT_EQ(BSwritehex(f, b, 10), 6 * 4 + 3 * 5 + 4);                   // the images only
  EXPECT_EQ(drain(f), std::string(12, ' ') + " 0x0 0x0 0x0 0x0 0x0 0x0 0xf0 0x3f" +
                          std::string(12, ' ') + " 0xab 0x0\n");
}

TEST(BSreadhex, ReadsOrSkipsImagesAndStopsAtTheFirstBadOne) {
  // clang-format off
  const std::tuple<const char *, int, bool, int, std::string> cases[] = {  // text, count, target, read, bytes
      {"junk 0x1f 0xab 0x0 0x7", 8, true, 4, "\x1f\xab\0\x07"s},
      {" 0xfffffffffffffff12 0x5", 2, true, 2, "\x12\x05"},  // the low byte of a long image
      {" 0x1 0xzz", 3, true, 1, "\x01"},
      {"1.5 0x0 0x0 0x0 0x0 0x0", 8, true, 5, std::string(5, '\0')},  // 5 of 8 images
      {" 0x1 0x", 3, false, 1, ""},
      {" 0x1 0x2 0x3 next", 3, false, 3, ""}};  // whole words skipped
  // clang-format on
  for (const auto &[text, count, target, read, bytes] : cases) {
    FILE *f = stream_with(text);
    char b[8] = {};
    EXPECT_EQ(BSreadhex(f, target ? reinterpret_cast<unsigned char *>(b) : nullptr, count), read);
    EXPECT_EQ(std::string(b, bytes.size()), bytes) << text;
    EXPECT_TRUE(!std::strstr(text, "next") || (std::fscanf(f, "%7s", b) == 1 && b == "next"s));
    std::fclose(f);
  }
}

TEST(BSreadd, ReadsNumberWordsAndReportsBadOnes) {
  FILE *f = stream_with("  -2.5E-3\n 17 4.25e+2 1e " + std::string(250, '1') + " abc");
  double v = 0;
  // The leading number of "1e" counts; a word gives at most 199 characters.
  for (double expected : {-2.5e-3, 17.0, 425.0, 1.0, std::stod(std::string(199, '1')),
                          std::stod(std::string(51, '1'))}) {
    EXPECT_EQ(BSreadd(f, &v), TRUE);
    EXPECT_EQ(v, expected);
  }
  testing::internal::CaptureStderr();
  for (int i = 0; i < 2; ++i) {  // a bad word, then the end of the stream
    v = 5;
    EXPECT_EQ(std::tuple(BSreadd(f, &v), v), std::tuple(FALSE, 0.0));
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "*** error in f_s_BSreadd: String was \"abc\" ***\n*** error in BSreadd ***\n"
            "*** error in BSreadd ***\n");
  std::fclose(f);
}

TEST(BSreadhexd, ModeDecidesBetweenImagesAndDecimalOnSeekableStreams) {
  FILE *out = std::tmpfile();
  const double image = 1.5;
  BSwritehex(out, reinterpret_cast<const unsigned char *>(&image), 8);
  const std::string images = drain(out);
  for (int mode : {1, 2}) {  // decimal 2.0 carrying the images of 1.5, then plain decimals
    FILE *f = stream_with("2.0" + images + " 9.5\n-1");
    double v[3] = {};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(BSreadhexd(f, mode, 1, v + i), TRUE);
    EXPECT_EQ(std::tuple(v[0], v[1], v[2]), std::tuple(mode == 1 ? 1.5 : 2.0, 9.5, -1.0));
    std::fclose(f);
    f = stream_with("1.5 0x0 0x0 0x0 0x0 0x0");  // 5 of 8 images
    EXPECT_EQ(BSreadhexd(f, mode, 1, v), FALSE);
    std::fclose(f);
  }
  FILE *f = stream_with("1 2 3");
  double v[3] = {7, 7, 7};
  EXPECT_EQ(BSreadhexd(f, 3, 1, v) | BSreadhexd(f, -1, 1, v), FALSE);  // unknown: nothing read
  EXPECT_EQ(BSreadhexd(f, 0, 3, v), TRUE);
  EXPECT_EQ(std::tuple(v[0], v[1], v[2]), std::tuple(1.0, 2.0, 3.0));
  std::fclose(f);
  // The look-ahead for images needs a seekable stream; a pipe fails in the image modes.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], "1.5 2.5\n", 8), 8);
  close(fds[1]);
  f = fdopen(fds[0], "r");
  EXPECT_EQ(BSreadhexd(f, 1, 1, v), FALSE);
  EXPECT_EQ(std::tuple(BSreadhexd(f, 0, 1, v), v[0]), std::tuple(TRUE, 1.5));
  std::fclose(f);
}

}  // namespace
