// Tells every test binary where the fixtures, the sample data and the build
// folder lie, unless the caller already set them.
#include <cstdlib>

namespace {

struct TestEnvironment {
    TestEnvironment()
    {
        setenv("TREVOK_FIXTURES", TREVOK_FIXTURES_DIR, 0);
        setenv("TREVOK_SAMPLE_DATA", TREVOK_SAMPLE_DATA_DIR, 0);
        setenv("TREVOK_BUILD_DIR", TREVOK_BUILD_DIR_PATH, 0);
    }
};

const TestEnvironment kTestEnvironment;

} // namespace
