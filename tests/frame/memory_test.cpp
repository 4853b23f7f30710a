// Result and scratch memory, guarded debug mode, checkers and pooled hooks.
#include <cstring>
#include <functional>
#include <string>

#include "support.hpp"

namespace {

class Memory : public ::testing::Test {
 protected:
  void SetUp() override { kwtest::reset_library_state(); }
  void TearDown() override {
    BSdbglev = 0;
    BSsetqemem(nullptr, nullptr);
    kwtest::reset_library_state();
  }
};

using MemoryDeathTest = Memory;

TEST_F(Memory, DebugResultBlockIsPoisonedAndGuarded) {
  BSdbglev = 20;
  auto *p = static_cast<unsigned char *>(BSdbgalloc(10));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(p[i], 0xFF);
  for (int i = 1; i <= 8; ++i) EXPECT_EQ(p[-i], 'b');
  for (int i = 0; i < 8; ++i) EXPECT_EQ(p[10 + i], 'e');
  EXPECT_EQ(BSlist_al.count, 1);
  BSdbgfree(p);
  EXPECT_EQ(BSlist_al.count, 0);
}

TEST_F(Memory, DebugCallocIsZeroAndReallocKeepsContents) {
  BSdbglev = 20;
  auto *p = static_cast<unsigned char *>(BSdbgcalloc(4, 6));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 24; ++i) EXPECT_EQ(p[i], 0);
  std::memset(p, 7, 24);
  p = static_cast<unsigned char *>(BSdbgralloc(p, 1000));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 24; ++i) EXPECT_EQ(p[i], 7);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(p[1000 + i], 'e');
  EXPECT_EQ(BSlist_al.count, 1);
  BSdbgfree(p);
  EXPECT_EQ(BSlist_al.count, 0);
}

// Runs fn in a death test and checks its standard output (redirected to stderr).
#define EXPECT_EXIT11_PRINTS(stmt, text) \
  EXPECT_EXIT(                           \
      {                                  \
        dup2(2, 1);                      \
        stmt;                            \
      },                                 \
      ::testing::ExitedWithCode(11), text)

TEST_F(MemoryDeathTest, WritePastResultBlockEndsProcess) {
  BSdbglev = 20;
  auto *p = static_cast<unsigned char *>(BSdbgalloc(10));
  p[10] = 0;
  EXPECT_EXIT11_PRINTS(BSdbgfree(p),
                       "^ \\*\\*\\* memory scratch after allocated memory \\*\\*\\*\n"
                       " \\*\\*\\* pointer in question is: 0x");
  p[10] = 'e';
  BSdbgfree(p);
}

TEST_F(MemoryDeathTest, EveryMisuseMessage) {
  BSdbglev = 20;
  auto *r = static_cast<unsigned char *>(BSdbgalloc(16));
  auto *s = static_cast<unsigned char *>(BSdbgsalloc(16));
  EXPECT_EXIT11_PRINTS(BSdbgfree(s), "attempt to deallocate stackallocated memory");
  EXPECT_EXIT11_PRINTS(BSdbgsfree(r), "attempt to stackdeallocate allocated memory");
  int stack_thing = 0;
  EXPECT_EXIT11_PRINTS(BSdbgfree(&stack_thing), "attempt to deallocate an invalid pointer");
  EXPECT_EXIT11_PRINTS(BSdbgsfree(&stack_thing), "attempt to deallocate an invalid pointer");
  EXPECT_EXIT11_PRINTS(BSdbgralloc(&stack_thing, 8),
                       "BSdbgralloc: attempt to deallocate an invalid pointer");
  r[-1] = 0;
  EXPECT_EXIT11_PRINTS(BSdbgfree(r),
                       "memory scratch before allocated memory \\*\\*\\*\n "
                       "\\*\\*\\* pointer in question is: 0x");
  r[16] = 0;
  EXPECT_EXIT11_PRINTS(BSdbgfree(r), "memory scratch before and after allocated memory");
  r[-1] = 'b';
  EXPECT_EXIT11_PRINTS(BSdbgfree(r), "memory scratch after allocated memory");
  EXPECT_EXIT11_PRINTS(BSdbgralloc(r, 8), "memory scratch after allocated memory");
  s[16] = 0;
  EXPECT_EXIT11_PRINTS(BSdbgsfree(s), "memory scratch after stackallocated memory");
  s[-8] = 0;
  EXPECT_EXIT11_PRINTS(BSdbgsfree(s), "memory scratch before and after stackallocated memory");
  s[16] = 'f';
  EXPECT_EXIT11_PRINTS(BSdbgsfree(s), "memory scratch before stackallocated memory");
  s[-8] = 'd';
  r[16] = 'e';
  BSdbgfree(r);
  BSdbgsfree(s);
}

TEST_F(Memory, LiveListGrowsByFiveThousand) {
  BSdbglev = 20;
  static void *blocks[5001];
  for (auto &b : blocks) b = BSdbgalloc(1);
  EXPECT_EQ(BSlist_al.count, 5001);
  EXPECT_EQ(BSlist_al.capacity, 10000);
  EXPECT_EQ(BSlist_al.ptrs[0], blocks[0]);
  // release out of order: the remaining entries keep their order
  BSdbgfree(blocks[0]);
  EXPECT_EQ(BSlist_al.ptrs[0], blocks[1]);
  for (int i = 1; i < 5001; ++i) BSdbgfree(blocks[i]);
  EXPECT_EQ(BSlist_al.count, 0);
}

// The exact console texts, in order (state carries from row to row): exact, or the
// start of the output, or a part of it.
TEST_F(Memory, ConsoleMessages) {
  enum Match { kExact, kStart, kPart };
  unsigned char *r = nullptr, *s = nullptr;
  void *leak = nullptr;
  const auto level20 = [] { BSdbglev = 20; };
  const struct {
    std::function<void()> run;
    std::string text;
    Match match = kExact;
  } rows[] = {
      {[] { BSchkmemo(); }, " *** BSdbglev is NOT 20 ***\n"},
      {[] { BSchkmem1(nullptr); }, " *** input pointer is NULL ***\n"},
      {[] { BSpoisonstk(100001); }, "*** stack is too small\n"},
      {[] { BSpoisonmem(6); }, "*** The number of allocated bytes must be divisible by 4.\n"},
      {[] { BSpoisonmem(0); }, "n is a negative number."},
      {[] { BSpoisonmem(64); }, "Poisoning is completed. Address = 0x", kStart},
      {[] { BSpoisonstk(400); }, "Poisoning is completed. address = 0x", kStart},
      {[] { BSlockmem(6); }, "BSlockmem: The number of allocated bytes must be divisible by 4.\n"},
      {level20, ""},
      {[] { EXPECT_EQ(BSmemclean(), 0); }, ""},
      {[] { BSchkmemo(); },
       " *** NO memory currently allocated\n *** NO allocated memory scratched ***\n"},
      {[] { EXPECT_EQ(BSdbgalloc(0), nullptr); }, ""},
      {[] { EXPECT_EQ(BSmemclean(), 1); },
       "Warning: there has been an attempt to allocate 0 bytes of memory.\n\n"},
      {[] {
         BSdbgfree(nullptr);
         EXPECT_EQ(BSmemclean(), 11);
       },
       "", kPart},
      {[&] {
         leak = BSdbgalloc(8);
         EXPECT_EQ(BSmemclean(), 111);
       },
       "Warning: there are 1 unfreed pointers.\n\n", kPart},
      {[&] { BSdbgfree(leak), r = static_cast<unsigned char *>(BSdbgalloc(4)), BSchkmem1(r); },
       " *** allocated memory not scratched ***\n"},
      {[&] { EXPECT_EQ(BSdbgralloc(r, -1), nullptr); },
       "Warning: there has been an attempt to allocate negative bytes of memory.\n\n"},
      {[&] { s = static_cast<unsigned char *>(BSdbgsalloc(4)), BSchkmem1(s); },
       " *** stackallocated memory not scratched ***\n"},
      {[] { BSchkmemo(); },
       " *** checking 2 pointer(s) of allocated memory ...\n"
       " *** NO allocated memory scratched ***\n"},
      {[&] { s[4] = 0, BSchkmem1(s); }, " *** memory scratch after allocated memory ***\n"},
      {[] { BSchkmemo(); },
       " *** memory scratch AFTER allocated memory: ***\n *** pointer in question is: 0x", kPart},
      {[&] { s[4] = 'f', r[-3] = 'x', BSchkmem1(r); },
       " *** memory scratch before allocated memory ***\n"},
      {[] { BSchkmemo(); }, " *** memory scratch BEFORE allocated memory ***\n", kPart},
      {[&] { r[-3] = 'b', BSdbgfree(r), BSdbgsfree(s); }, ""},
      // Zero-size and null requests of the scratch allocator only set flags.
      {[] {
         BSdbglev = 0;
         EXPECT_EQ(BSdbgsalloc(0), nullptr);
         EXPECT_EQ(BSalloczero, 1);
       },
       ""},
      {[] {
         BSdbgsfree(nullptr);
         EXPECT_EQ(BSfreezero, 1);
       },
       ""},
      {[] { EXPECT_EQ(BSdbgcalloc(0, 8), nullptr); }, ""},
  };
  for (const auto &row : rows) {
    const std::string out = kwtest::capture_stdout(row.run);
    const size_t at = out.find(row.text);
    EXPECT_TRUE(row.match == kExact   ? out == row.text
                : row.match == kStart ? at == 0
                                      : at != out.npos)
        << "row " << (&row - rows) << ": " << out;
  }
}

TEST_F(Memory, LockedBlockDetectsStrayWrites) {
  // The locked block lives for the whole process; the test runs once per process.
  if (BSlmemptr == nullptr) {
    EXPECT_EQ(kwtest::capture_stdout([] {
                BSlockmem(64);
              }).rfind("Poisoning is complete. Address = 0x", 0),
              0u);
  }
  EXPECT_EQ(BSlmemnumb, 64);
  EXPECT_EQ(kwtest::capture_stdout([] { BSchklmem(); }), "");
  EXPECT_EQ(kwtest::capture_stdout([] { BSlockmem(64); }),
            "BSlockmem: Memory has already been allocated and locked.\n");
  auto *bytes = static_cast<unsigned char *>(BSlmemptr);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[3], 0x7F);
  bytes[9] = 0;
  EXPECT_EQ(kwtest::capture_stdout([] { BSchklmem(); }),
            "BSchklmem: The locked memory has been corrupted.\n");
  bytes[9] = 0xFF;
}

TEST_F(Memory, DbginitClearsTraceAndReturnsLevel) {
  BSdbglev = 7;
  EXPECT_EQ(BSdbginit(), 7);
  BSdbglev = 0;
}

// Pooled hooks: record the class each request was served from.
int32_t g_last_class = 0;
int g_pool_releases = 0;
void *pool_alloc(int32_t size) {
  g_last_class = size;
  return std::malloc(static_cast<size_t>(size));
}
void pool_release(void *block, int32_t size) {
  EXPECT_EQ(size, g_last_class);
  ++g_pool_releases;
  std::free(block);
}

TEST_F(Memory, PooledSizeClasses) {
  BSsetqemem(pool_alloc, pool_release);
  const struct {
    int32_t request, cls;
  } cases[] = {{8, 16}, {9, 64}, {56, 64}, {57, 128}, {1016, 1024}};
  for (const auto &c : cases) {
    g_last_class = 0;
    void *p = BSdbgalloc(c.request);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(g_last_class, c.cls) << c.request;
    BSdbgfree(p);
  }
  g_last_class = 0;
  const int releases = g_pool_releases;
  void *big = BSdbgalloc(1017);  // 1025 bytes with the header: the system allocator
  EXPECT_EQ(g_last_class, 0);
  big = BSdbgralloc(big, 8);  // moves into class 16, keeping the first 8 bytes
  EXPECT_EQ(g_last_class, 16);
  BSdbgfree(big);
  EXPECT_EQ(g_pool_releases, releases + 1);
  BSsetqemem(pool_alloc, nullptr);  // one null hook clears both
  void *plain = BSdbgalloc(8);
  g_last_class = 0;
  BSdbgfree(plain);
  EXPECT_EQ(g_last_class, 0);
}

}  // namespace
