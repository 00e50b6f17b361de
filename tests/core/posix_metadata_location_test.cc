// Where the process metadata database lies on Linux: root's runs keep theirs with the
// system's state, whatever home and state folder they were started with.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include "platform/metadata_location.h"

namespace jr {
namespace {

TEST(PosixMetadataLocation, RootsPlaceOrTheUsersState) {
  unsetenv("JOBRUNNER_METADATA_DB");
  setenv("XDG_STATE_HOME", "/home/me/.state", 1);
  EXPECT_EQ(SystemMetadataDatabasePath(), geteuid() == 0
                                              ? "/var/lib/jobrunner/metadata.sqlite"
                                              : "/home/me/.state/jobrunner/metadata.sqlite");
  unsetenv("XDG_STATE_HOME");
}

}  // namespace
}  // namespace jr
