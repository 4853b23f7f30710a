// Result and scratch memory, guarded debug mode, checkers and pooled hooks.

#include "support.hpp"

namespace {

using Memory = kwtest::CleanStateTest;

using MemoryDeathTest = Memory;

// What the statement prints on standard output.
#define PRINTS(stmt) kwtest::capture_stdout([&] { stmt; })

TEST_F(Memory, DebugBlocksArePoisonedGuardedZeroedAndReallocated) {
  BSdbglev = 20;
  auto *p = static_cast<unsigned char *>(BSdbgalloc(10));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::tuple(reinterpret_cast<uintptr_t>(p) % 16, BSlist_al.count), std::tuple(0u, 1));
  // poison in the block, guard bytes before and after
  EXPECT_EQ(std::string(p - 8, p + 18), std::string(8, 'b') + std::string(10, '\xFF') + "eeeeeeee");
  EXPECT_EQ(PRINTS(BSchkmem1(p)), " *** allocated memory not scratched ***\n");
  BSdbgfree(p);
  // calloc gives zeros, realloc keeps the contents
  p = static_cast<unsigned char *>(BSdbgcalloc(4, 6));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::string(p, p + 24), std::string(24, '\0'));
  std::memset(p, 7, 24);
  p = static_cast<unsigned char *>(BSdbgralloc(p, 1000));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::string(p, p + 24), std::string(24, '\7'));
  EXPECT_EQ(std::tuple(std::string(p + 1000, p + 1008), BSlist_al.count),
            std::tuple("eeeeeeee", 1));
  EXPECT_EQ(PRINTS(EXPECT_EQ(BSdbgralloc(p, -1), nullptr)),
            "Warning: there has been an attempt to allocate negative bytes of memory.\n\n");
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

TEST_F(MemoryDeathTest, EveryMisuseMessage) {
  BSdbglev = 20;
  auto *r = static_cast<unsigned char *>(BSdbgalloc(10));  // the guard right after 10 bytes
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
  r[10] = 0;
  EXPECT_EXIT11_PRINTS(BSdbgfree(r), "memory scratch before and after allocated memory");
  r[-1] = 'b';
  EXPECT_EXIT11_PRINTS(BSdbgfree(r),
                       "^ \\*\\*\\* memory scratch after allocated memory \\*\\*\\*\n"
                       " \\*\\*\\* pointer in question is: 0x");
  EXPECT_EXIT11_PRINTS(BSdbgralloc(r, 8), "memory scratch after allocated memory");
  s[16] = 0;
  EXPECT_EXIT11_PRINTS(BSdbgsfree(s), "memory scratch after stackallocated memory");
  s[-8] = 0;
  EXPECT_EXIT11_PRINTS(BSdbgsfree(s), "memory scratch before and after stackallocated memory");
  s[16] = 'f';
  EXPECT_EXIT11_PRINTS(BSdbgsfree(s), "memory scratch before stackallocated memory");
  s[-8] = 'd';
  r[10] = 'e';
  BSdbgfree(r);
  BSdbgsfree(s);
}

TEST_F(Memory, MemcleanReportsZeroSizeNullFreeAndLeaks) {
  BSdbglev = 20;
  EXPECT_EQ(PRINTS(EXPECT_EQ(BSmemclean(), 0)), "");
  EXPECT_EQ(BSdbgalloc(0), nullptr);
  EXPECT_EQ(PRINTS(EXPECT_EQ(BSmemclean(), 1)),
            "Warning: there has been an attempt to allocate 0 bytes of memory.\n\n");
  BSdbgfree(nullptr);
  PRINTS(EXPECT_EQ(BSmemclean(), 11));
  void *p = BSdbgalloc(8);
  EXPECT_NE(PRINTS(EXPECT_EQ(BSmemclean(), 111)).find("Warning: there are 1 unfreed pointers.\n\n"),
            std::string::npos);
  BSdbgfree(p);
}

TEST_F(Memory, LiveListGrowsByFiveThousand) {
  BSdbglev = 20;
  static void *blocks[5001];
  for (auto &b : blocks) b = BSdbgalloc(1);
  EXPECT_EQ(std::tuple(BSlist_al.count, BSlist_al.capacity, BSlist_al.ptrs[0]),
            std::tuple(5001, 10000, blocks[0]));
  // release out of order: the remaining entries keep their order
  BSdbgfree(blocks[0]);
  EXPECT_EQ(BSlist_al.ptrs[0], blocks[1]);
  for (int i = 1; i < 5001; ++i) BSdbgfree(blocks[i]);
  EXPECT_EQ(BSlist_al.count, 0);
}

TEST_F(Memory, CheckersReportState) {
  EXPECT_EQ(PRINTS(BSchkmemo()), " *** BSdbglev is NOT 20 ***\n");
  EXPECT_EQ(PRINTS(BSchkmem1(nullptr)), " *** input pointer is NULL ***\n");
  BSdbglev = 20;
  EXPECT_EQ(PRINTS(BSchkmemo()),
            " *** NO memory currently allocated\n *** NO allocated memory scratched ***\n");
  auto *r = static_cast<unsigned char *>(BSdbgalloc(4));
  auto *s = static_cast<unsigned char *>(BSdbgsalloc(4));
  EXPECT_EQ(PRINTS(BSchkmem1(s)), " *** stackallocated memory not scratched ***\n");
  EXPECT_EQ(PRINTS(BSchkmemo()),
            " *** checking 2 pointer(s) of allocated memory ...\n"
            " *** NO allocated memory scratched ***\n");
  s[4] = 0;
  EXPECT_EQ(PRINTS(BSchkmem1(s)), " *** memory scratch after allocated memory ***\n");
  EXPECT_NE(PRINTS(BSchkmemo())
                .find(" *** memory scratch AFTER allocated memory: ***\n"
                      " *** pointer in question is: 0x"),
            std::string::npos);
  s[4] = 'f';
  r[-3] = 'x';
  EXPECT_EQ(PRINTS(BSchkmem1(r)), " *** memory scratch before allocated memory ***\n");
  EXPECT_NE(PRINTS(BSchkmemo()).find(" *** memory scratch BEFORE allocated memory ***\n"),
            std::string::npos);
  r[-3] = 'b';
  BSdbgfree(r);
  BSdbgsfree(s);
}

TEST_F(Memory, PoisoningMessagesAndLockedBlock) {
  EXPECT_EQ(PRINTS(BSpoisonstk(100001)), "*** stack is too small\n");
  EXPECT_EQ(PRINTS(BSpoisonmem(6)), "*** The number of allocated bytes must be divisible by 4.\n");
  EXPECT_EQ(PRINTS(BSpoisonmem(0)), "n is a negative number.");
  EXPECT_EQ(PRINTS(BSpoisonmem(64)).rfind("Poisoning is completed. Address = 0x", 0), 0u);
  EXPECT_EQ(PRINTS(BSpoisonstk(400)).rfind("Poisoning is completed. address = 0x", 0), 0u);
  EXPECT_EQ(PRINTS(BSlockmem(6)),
            "BSlockmem: The number of allocated bytes must be divisible by 4.\n");
  // The locked block lives for the whole process; the test runs once per process.
  if (BSlmemptr == nullptr) {
    EXPECT_EQ(PRINTS(BSlockmem(64)).rfind("Poisoning is complete. Address = 0x", 0), 0u);
  }
  EXPECT_EQ(std::tuple(BSlmemnumb, PRINTS(BSchklmem()), PRINTS(BSlockmem(64))),
            std::tuple(64, "", "BSlockmem: Memory has already been allocated and locked.\n"));
  auto *bytes = static_cast<unsigned char *>(BSlmemptr);
  EXPECT_EQ(std::tuple(bytes[0], bytes[3]), std::tuple(0xFF, 0x7F));
  bytes[9] = 0;
  EXPECT_EQ(PRINTS(BSchklmem()), "BSchklmem: The locked memory has been corrupted.\n");
  bytes[9] = 0xFF;
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
  for (const auto &[request, cls] :
       {std::pair{8, 16}, {9, 64}, {56, 64}, {57, 128}, {1016, 1024}}) {
    g_last_class = 0;
    void *p = BSdbgalloc(request);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(g_last_class, cls) << request;
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

TEST_F(Memory, ZeroAndNullFlagsFromScratchAllocatorAndProcessHooks) {
  EXPECT_EQ(BSdbgsalloc(0), nullptr);
  EXPECT_EQ(BSalloczero, 1);
  BSdbgsfree(nullptr);
  EXPECT_EQ(std::tuple(BSfreezero, BSdbgcalloc(0, 8)), std::tuple(1, nullptr));
  for (const int level : {0, 20}) {  // a negative element size is refused
    BSdbglev = level;
    EXPECT_EQ(BSdbgcalloc(1, -1), nullptr) << level;
  }
  BSdbglev = 7;
  EXPECT_EQ(BSdbginit(), 7);
  BSinit();  // keeps the level; BSinit20 clears it
  EXPECT_EQ(BSdbglev, 7);
  BSinit20();
  EXPECT_EQ(BSdbglev, 0);
}

}  // namespace
