// Thousands of whole-program runs with seeded random faults: a call of the
// transfer going wrong (which call, which kind of fault, how many bytes), a
// printer that vanishes part-way, or none there when the user presses. Every
// run must end as a fault run should, and the retry must deliver the image.
// Each run draws from its own generator, seeded from the seed and its number,
// so `--seed S --from R --runs 1` repeats run R alone.
//
//   soak_test [--runs N] [--seed S] [--from R]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "fault_runs.h"

namespace fault_runs {
namespace {

unsigned long runs = 5000;
unsigned long seed = 1;
unsigned long from = 0;
std::string summary = "the soak did not run";

using SoakTest = FaultRunTest;

TEST_F(SoakTest, RandomFaultsLeaveNothingBehind) {
  // One full block and the short last one: thousands of runs need them short.
  image_ = TestImage(1);
  std::vector<std::vector<FaultPoint>> points;
  for (const Profile &profile : kProfiles) points.push_back(Points(RecordCleanTransfer(profile)));
  ASSERT_FALSE(HasFailure()) << "the clean transfers";
  size_t threads = world::LiveThreads();
  size_t handles = world::LiveHandles();
  size_t blocks = world::LiveHeapBlocks();
  size_t sockets = world::LiveSockets();

  const ::testing::TestResult &result =
      *::testing::UnitTest::GetInstance()->current_test_info()->result();
  unsigned long failures = 0;
  for (unsigned long run = from; run < from + runs; ++run) {
    std::mt19937 random(static_cast<std::mt19937::result_type>(seed * 1000003u + run));
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
    size_t build = pick(std::size(kProfiles));
    UseProfile(kProfiles[build]);
    const std::vector<FaultPoint> &all = points[build];
    FaultPoint fault = all[pick(all.size())];
    size_t scenario = pick(10);
    size_t vanishAfter = 1 + pick(image_.size() + 64);
    if (fault.action == Action::shorten) fault.maxBytes = DWORD(1 + pick(65472));
    std::string what = scenario == 0 ? "printer gone at the press"
                       : scenario == 1
                           ? "printer vanishes after byte " + std::to_string(vanishAfter)
                           : Describe(fault);
    int partsBefore = result.total_part_count();
    std::string outcome = Run([&](HWND main) {
      if (scenario == 0) world::DetachAllDevices();
      if (scenario == 1) {
        world::DetachAllDevices();
        AttachHealthy(vanishAfter);
      }
      return TransferWith(main, scenario <= 1 ? nullptr : &fault);
    });
    if (result.total_part_count() != partsBefore) {
      ++failures;
      std::printf(
          "FAILED: seed %lu run %lu (%s build, %s: %s); repeat with --seed %lu --from %lu "
          "--runs 1\n",
          seed, run, kProfiles[build].name, what.c_str(), outcome.c_str(), seed, run);
      if (failures >= 10) break;
    }
  }
  bool quiet = world::LiveThreads() == threads && world::LiveHandles() == handles &&
               world::LiveHeapBlocks() == blocks && world::LiveSockets() == sockets;
  summary = std::to_string(runs) + " runs, " + std::to_string(failures) + " failures, " +
            (quiet ? "nothing left alive" : "something left alive");
  EXPECT_EQ(failures, 0u);
  EXPECT_TRUE(quiet);
}

}  // namespace
}  // namespace fault_runs

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i + 1 < argc; i += 2) {
    unsigned long value = std::strtoul(argv[i + 1], nullptr, 10);
    if (std::strcmp(argv[i], "--runs") == 0)
      fault_runs::runs = value;
    else if (std::strcmp(argv[i], "--seed") == 0)
      fault_runs::seed = value;
    else if (std::strcmp(argv[i], "--from") == 0)
      fault_runs::from = value;
    else {
      std::fprintf(stderr, "usage: %s [--runs N] [--seed S] [--from R]\n", argv[0]);
      return 2;
    }
  }
  int status = RUN_ALL_TESTS();
  std::printf("%s\n", fault_runs::summary.c_str());
  return status;
}
