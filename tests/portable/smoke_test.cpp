#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "saver_test_config.h"

// Tests find the source tree and build artefacts through these paths; under
// Wine they must still resolve (drive Z:).
TEST(Smoke, SourceTreeIsReachable)
{
    const std::string path = std::string(SAVER_TEST_SOURCE_DIR) + SAVER_TEST_SEP + "CMakeLists.txt";
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr) << path;
    std::fclose(f);
}
