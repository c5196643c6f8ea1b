// A fault at every platform call of one transfer, in each kind of build: the
// calls of a clean transfer are counted, then the whole program runs once per
// counted call with that call going wrong. Whatever goes wrong, the user must
// be told the truth, the port must be let go, nothing may be left alive, and
// the next try against a healthy printer must deliver the image intact.
#include <cstdio>

#include "fault_runs.h"

namespace fault_runs {
namespace {

using FaultMatrixTest = FaultRunTest;

TEST_F(FaultMatrixTest, EveryCallOfATransferFailingInEveryBuild) {
  size_t total = 0;
  for (const Profile &profile : kProfiles) {
    SCOPED_TRACE(profile.name);
    std::vector<unsigned> made = RecordCleanTransfer(profile);
    ASSERT_FALSE(HasFailure()) << "the clean transfer";

    std::printf("%s build:\n", profile.name);
    for (const FaultPoint &point : Points(made)) {
      SCOPED_TRACE(Describe(point));
      std::string outcome = Run(point);
      std::printf("  %-60s %s\n", Describe(point).c_str(), outcome.c_str());
      ++total;
      if (HasFatalFailure()) return;
    }
  }
  std::printf("%zu fault points in three builds\n", total);
}

}  // namespace
}  // namespace fault_runs
