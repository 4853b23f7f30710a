// The composite Legendre text record: its exact text, exact read-back (tiny and huge
// magnitudes too), groups of records, truncated or malformed input.

#include "record_fixtures.hpp"
#include "status_ok.hpp"
#include "support.hpp"

namespace {

class CompositeText : public kwtest::GuardedTest {};

// A small record: two segments (cubic polynomial, linear rational) in 3D.
struct Record {
  int32_t d = 3, m = 2, periodic = 0;
  int32_t ndeg[2] = {3, 1}, irat[2] = {0, 1}, ibase[2] = {1, 0};
  double coef[20];
  double *series[2] = {coef, coef + 12};
  double bez[3] = {0, 0.25, 1}, se[2] = {0, 1};
  Record() {
    for (int i = 0; i < 20; ++i)
      coef[i] = (i % 3 ? 1.0 : -1.0) * (i + 0.5) * std::pow(10.0, i - 10);
  }
};

// What fn writes to a stream.
std::string write_to_string(const std::function<void(FILE *)> &fn) {
  FILE *f = std::tmpfile();
  fn(f);
  return kwtest::drain(f);
}
using kwtest::stream_with;
std::string text_of(const Record &r) {
  return write_to_string([&](FILE *f) {
    BSprtcmplgd(f, r.d, r.m, r.periodic, r.ndeg, r.irat, r.ibase, r.series, r.bez, r.se);
  });
}

void free_all(std::initializer_list<void *> blocks) {
  for (void *p : blocks)
    if (p) BSdbgfree(p);
}

struct Read {
  int32_t d = 0, m = 0, periodic = 0, *ndeg = nullptr, *irat = nullptr, *ibase = nullptr;
  double **series = nullptr, *bez = nullptr, se[2] = {0, 0};
  BSrc rc = 0;
  explicit Read(FILE *f) {
    BSreadcmlgd(f, &d, &m, &periodic, &ndeg, &irat, &ibase, &series, &bez, se, &rc);
  }
  ~Read() {
    BSfrecmplgd(&series);
    free_all({ndeg, irat, ibase, bez});
  }
};

TEST_F(CompositeText, WritesTheExactText) {
  int32_t nd[1] = {0}, ir[1] = {0}, ib[1] = {1};
  double c[2] = {1.5, -2.0}, *s[1] = {c}, bz[2] = {0, 1}, se[2] = {0, 1};
  const std::string text =
      write_to_string([&](FILE *f) { BSprtcmplgd(f, 2, 1, 0, nd, ir, ib, s, bz, se); });
  EXPECT_EQ(text,
            "dimModel 2\nnSegment 1\nperiodic 0\nndegArr\n0\niratArr\n0\nibaseArr \n1\n"
            "curveSeries\n   1.50000000000000000\n  -2.00000000000000000\nbezKnots\n"
            "   0.00000000000000000\n   1.00000000000000000\nstart_end_parameters\n"
            "   0.00000000000000000    1.00000000000000000\n\n");
}

TEST_F(CompositeText, RecordsReadBackExactly) {
  Record r;
  const std::string text = text_of(r);
  FILE *f = stream_with("leading words are skipped\n" + text);
  Read in(f);
  std::fclose(f);
  ASSERT_EQ(in.rc, BSSUCC);
  EXPECT_EQ(in.d, 3);
  ASSERT_EQ(in.m, 2);
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(std::tuple(in.ndeg[i], in.irat[i], in.ibase[i]),
              std::tuple(r.ndeg[i], r.irat[i], r.ibase[i]));
  EXPECT_EQ(in.series[1] - in.series[0], 12);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(in.series[0][i], r.coef[i]) << i;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(in.bez[i], r.bez[i]);
  EXPECT_EQ(in.se[1], 1.0);
}

TEST_F(CompositeText, GroupsOfRecords) {
  Record r;
  const std::string one = text_of(r);
  FILE *f = stream_with("2 1\n" + one + one + one);
  int32_t d, counts[2], **nseg, **per, ***nd, ***ir, ***ib;
  double ****ser, ***bz, **se;
  BSrc rc;
  BSrdsscmlgd(f, &d, 2, counts, &nseg, &per, &nd, &ir, &ib, &ser, &bz, &se, &rc);
  std::fclose(f);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_TRUE(counts[0] == 2 && counts[1] == 1);
  for (int g = 0; g < 2; ++g) {
    for (int j = 0; j < counts[g]; ++j) {
      EXPECT_TRUE(nseg[g][j] == 2 && ser[g][j][1][7] == r.coef[19] && se[g][2 * j + 1] == 1.0);
      BSfrecmplgd(&ser[g][j]);
      free_all({nd[g][j], ir[g][j], ib[g][j], bz[g][j]});
    }
    free_all({nseg[g], per[g], nd[g], ir[g], ib[g], ser[g], bz[g], se[g]});
  }
  free_all({nseg, per, nd, ir, ib, ser, bz, se});
}

TEST_F(CompositeText, MalformedInputFailsWithoutLeaks) {
  Record r;
  const std::string text = text_of(r);
  std::string bad_kind = text, bad_base = text;
  bad_kind.replace(bad_kind.find("iratArr\n0"), 9, "iratArr\n7");
  bad_base.replace(bad_base.find("ibaseArr \n1"), 11, "ibaseArr \n5");
  for (const std::string &s : {text.substr(0, text.size() / 2), text.substr(0, 20), std::string(),
                               bad_kind, bad_base, std::string("dimModel 3 nSegment 0")}) {
    FILE *f = stream_with(s);
    Read in(f);
    std::fclose(f);
    EXPECT_TRUE(in.rc == BSFAIL && in.series == nullptr);
  }
  int32_t d, m, p, *a = nullptr, *b = nullptr, *c = nullptr;
  double **s = nullptr, *bz = nullptr, se[2];
  EXPECT_EQ(KW_STATUS(BSreadcmlgd(nullptr, &d, &m, &p, &a, &b, &c, &s, &bz, se, &rc)), BSNULLPTR);
  int32_t counts[1];
  EXPECT_EQ(KW_STATUS(BSrdsscmlgd(stdin, &d, 0, counts, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr, &rc)),
            BSNULLPTR);
}

}  // namespace
