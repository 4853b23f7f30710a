#include "support.hpp"
TEST(Placeholder, Builds) { SUCCEED(); }
