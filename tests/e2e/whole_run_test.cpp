// Whole runs of the real program, compared byte for byte.

#include <gtest/gtest.h>

#include "tests/support/child_process.hpp"

namespace {

using testsupport::ChildOptions;
using testsupport::TempDir;

ChildOptions emodul_in(const TempDir& directory) {
    ChildOptions options;
    options.arguments = {EMODUL_BINARY};
    options.working_directory = directory.path();
    return options;
}

TEST(WholeRun, ForceTwiceTheDisplacement) {
    TempDir directory;
    directory.write_file("probe.txt", "1 2 1\n2 4 2\n3 6 3\n");
    const auto result = testsupport::run_child(emodul_in(directory), "probe.txt\n100\n100\n10\n");
    EXPECT_EQ(result.out,
              "\nMesswertedatei = Abstand a = Abstand b = Durchmesser d0  = \n"
              "E-unendlich =   679.41     MPa\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exit_status, 0);
}

}  // namespace
