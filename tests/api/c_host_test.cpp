// Runs the host written in C (c_host.c, compiled as C).
#include <gtest/gtest.h>

extern "C" const char* c_host_run(void);

namespace {

TEST(CHost, OpensAPublicationAndReadsItsRecords) {
  const char* failure = c_host_run();
  EXPECT_EQ(failure, nullptr) << failure;
}

}  // namespace
