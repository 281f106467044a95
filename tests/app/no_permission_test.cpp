// A user the device's permissions keep out is told so, with what to do, as
// the device's group and mode stand when the run asks (POSIX: Windows
// answers such a user as it answers a held port).
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/app/updater_fixture.h"
#include "tests/support/process.h"

namespace voren {
namespace {

const std::string kPrompt =
    "Podaj numer portu COM do ktorego podlaczono drukarke (0-wyjscie z programu): ";
const std::string kRootOnly =
    "Urzadzenie DEVICE moze otwierac tylko root: uruchom program jako root albo nadaj grupie "
    "prawo do niego regula udev (GROUP=\"dialout\", MODE=\"0660\").\n";

struct Refusal {
  const char* name;
  const char* group;  // the device's group; nothing: no device to look at
  mode_t mode;
  gid_t bareGid;      // instead of group: a group number no group's name stands for
  std::string shown;  // after the missing-port line's place; DEVICE is the device's path
};

class NoPermission : public Updater, public ::testing::WithParamInterface<Refusal> {
 protected:
  void TearDown() override { unsetenv("VOREN_COM2"); }
};

TEST_P(NoPermission, NamesTheDeviceAndWhatToDo) {
  const Refusal& c = GetParam();
  const std::string device = test::makeTempDir("no-permission") + "/ttyS1";
  if (c.group != nullptr || c.bareGid != 0) {
    const group* owner = c.group != nullptr ? getgrnam(c.group) : getgrgid(c.bareGid);
    if (c.group != nullptr && owner == nullptr) GTEST_SKIP() << "no group " << c.group;
    if (c.group == nullptr && owner != nullptr) GTEST_SKIP() << "group " << c.bareGid << " named";
    std::fclose(std::fopen(device.c_str(), "w"));
    ASSERT_EQ(chown(device.c_str(), 0, c.group != nullptr ? owner->gr_gid : c.bareGid), 0);
    ASSERT_EQ(chmod(device.c_str(), c.mode), 0);
  }
  setenv("VOREN_COM2", device.c_str(), 1);
  printer().presentPorts = {2, 3};
  printer().probeErrors = {{2, 5}};
  printer().deniedPorts = {2};
  std::string shown = c.shown;
  for (auto at = shown.find("DEVICE"); at != std::string::npos; at = shown.find("DEVICE")) {
    shown.replace(at, 6, device);
  }

  run("2\n0\n");
  EXPECT_NE(console->output().find(kPrompt + "2\r\n\n" + shown + "\n" + kPrompt + "0"),
            std::string::npos)
      << console->output();
  EXPECT_EQ(console->output().find("nie ma portu"), std::string::npos) << console->output();

  EXPECT_EQ(run("", {.port = PortChoice{2, "COM2"}}), 1);
  EXPECT_TRUE(console->output().ends_with("\n\n" + shown)) << console->output();
}

INSTANTIATE_TEST_SUITE_P(
    Dialogue, NoPermission,
    ::testing::Values(Refusal{"NotInTheDevicesGroup", "dialout", 0660, 0,
                              "Brak uprawnien do portu COM2 (DEVICE).\nDodaj uzytkownika do grupy "
                              "dialout (sudo usermod -aG dialout NAZWA) i zaloguj sie ponownie.\n"},
                      // usermod adds a user only to a group that exists by name.
                      Refusal{"GroupWithoutAName", nullptr, 0660, 48151,
                              "Brak uprawnien do portu COM2 (DEVICE).\n" + kRootOnly},
                      Refusal{"TheGroupMayNotOpenIt", "dialout", 0640, 0,
                              "Brak uprawnien do portu COM2 (DEVICE).\n" + kRootOnly},
                      Refusal{"RootsGroup", "root", 0660, 0,
                              "Brak uprawnien do portu COM2 (DEVICE).\n" + kRootOnly},
                      Refusal{"DeviceNotToBeLookedAt", nullptr, 0, 0,
                              "Brak uprawnien do portu COM2.\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace voren
