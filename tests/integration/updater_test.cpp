// The real updater, the real serial unit over the POSIX emulation, and the
// simulated printer on a pty, with the dialogue typed in a real terminal.
// The ways an update fails (CRC, NAK, silence, hang-up...) are the rows of
// fault_table_test.cpp.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/integration/updater_run.h"

extern char** environ;

namespace voren::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class UpdaterNatively : public ::testing::Test {
 protected:
  void SetUp() override {
    run_.emplace(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }

  // Printer with these arguments, the program on COM1 = its pty, port 1 typed.
  void startUpdate(std::vector<std::string> simArguments) {
    std::string error, screen;
    ASSERT_TRUE(run_->startPrinter(std::move(simArguments), &error)) << error;
    ASSERT_TRUE(
        run_->startProgram({VOREN_CP852_PATH}, {{"VOREN_COM1", run_->printer().ptyPath()}}, &error))
        << error;
    ASSERT_TRUE(run_->answerPort(1, 10s, &screen)) << screen;
  }

  std::string endReport(std::chrono::milliseconds timeout = 60s) {
    return run_->expectEndReport(timeout, &screen_);
  }

  std::optional<UpdaterRun> run_;
  std::string screen_;
};

TEST_F(UpdaterNatively, FullUpdateStoresTheGlyphTableWithProgressInPlace) {
  // Paced, so the progress line can be watched on its way up.
  startUpdate({"--baud", "115200"});
  EXPECT_EQ(endReport(), kSuccessLine);
  auto last = progressOn(screen_);
  ASSERT_TRUE(last) << screen_;
  EXPECT_EQ(last->percent, 100);

  const auto& seen = run_->progress();
  ASSERT_GE(seen.size(), 3u) << "progress was not seen moving";
  for (std::size_t i = 1; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].row, seen[0].row) << "progress moved to another line";
    EXPECT_GE(seen[i].percent, seen[i - 1].percent);
  }
  EXPECT_EQ(run_->expectExitAfterKey(10s), 0);

  std::string dump = run_->stopPrinterAndReadDump();
  EXPECT_TRUE(dump == glyphTableBytes()) << "the printer holds something else than the table";
  std::string log = run_->printer().log();
  EXPECT_EQ(summaryCount(log, "blocks stored"), 144) << log;
  EXPECT_EQ(summaryCount(log, "repeats"), 0) << log;
  EXPECT_EQ(summaryCount(log, "protocol errors"), 0) << log;
}

TEST_F(UpdaterNatively, ProgressStaysOnItsLineWhenTheTerminalGrows) {
  // A short terminal has scrolled the banner away; part way the window is
  // made taller, tmux brings lines back from its history and the progress
  // line moves down the window with them.
  std::string error, screen;
  ASSERT_TRUE(run_->startPrinter({"--baud", "57600"}, &error)) << error;
  ASSERT_TRUE(run_->startProgram({VOREN_CP852_PATH}, {{"VOREN_COM1", run_->printer().ptyPath()}},
                                 &error, 6))
      << error;
  ASSERT_TRUE(run_->answerPort(1, 10s, &screen)) << screen;
  ASSERT_TRUE(run_->terminal().waitFor(
      [](const std::string& now) {
        const auto progress = progressOn(now);
        return progress && progress->percent >= 5;
      },
      20s, &screen))
      << screen;
  run_->terminal().resize(100, 20);
  EXPECT_EQ(endReport(), kSuccessLine);
  const auto last = progressOn(screen_);
  ASSERT_TRUE(last) << screen_;
  EXPECT_EQ(last->percent, 100) << screen_;
  EXPECT_NE(screen_.find("(0-wyjscie z programu): 1\n\n\nTrwa"), std::string::npos) << screen_;
  EXPECT_EQ(run_->expectExitAfterKey(10s), 0);
}

TEST_F(UpdaterNatively, ProgressStaysOnItsLineWhenTheWindowNarrows) {
  // tmux rewraps the line at 30 columns; the percentage is found again
  // behind the cursor, so no percentage lands beside the line or below it.
  startUpdate({"--baud", "115200"});
  ASSERT_TRUE(run_->terminal().waitFor(
      [](const std::string& now) {
        const auto progress = progressOn(now);
        return progress && progress->percent >= 5;
      },
      20s, &screen_))
      << screen_;
  run_->terminal().resize(30, 40);
  // The end report wraps at 30 columns too.
  ASSERT_TRUE(run_->terminal().waitForText("sukcesem!", 60s, &screen_)) << screen_;
  EXPECT_NE(screen_.find("\nTrwa aktualizacja strony kodow\nej: 100%\n"), std::string::npos)
      << screen_;
  EXPECT_EQ(std::count(screen_.begin(), screen_.end(), '%'), 1) << screen_;
  EXPECT_EQ(run_->expectExitAfterKey(10s), 0);
}

TEST_F(UpdaterNatively, Code224TypedAtTheQuestionIsOneKey) {
  // The byte 224, Ó from a code page 852 terminal, is a character: it is
  // refused once and the 3 after it is the port. (A UTF-8 terminal sends
  // Ó as two bytes, two characters that are no number either.)
  std::string error, screen;
  ASSERT_TRUE(run_->startPrinter({}, &error)) << error;
  ASSERT_TRUE(
      run_->startProgram({VOREN_CP852_PATH}, {{"VOREN_COM3", run_->printer().ptyPath()}}, &error))
      << error;
  ASSERT_TRUE(run_->terminal().waitForText(kPortQuestion, 10s, &screen)) << screen;
  run_->terminal().sendBytes("\xe0");
  run_->terminal().type("3");
  run_->terminal().press("Enter");
  EXPECT_EQ(endReport(20s), kSuccessLine);
  int questions = 0;
  for (auto at = screen_.find(kPortQuestion); at != std::string::npos;
       at = screen_.find(kPortQuestion, at + 1)) {
    ++questions;
  }
  EXPECT_EQ(questions, 2) << screen_;
  EXPECT_NE(screen_.find("(0-wyjscie z programu): 3\n"), std::string::npos) << screen_;
  EXPECT_EQ(run_->expectExitAfterKey(10s), 0);
}

// A port another program holds is there, only busy: the busy line alone,
// never called missing, typed or given on the command line, and nothing of
// it reaches the printer.
TEST_F(UpdaterNatively, PortHeldByAnotherCopyIsInUseNotMissing) {
  // The first copy uploads slowly and keeps the port.
  startUpdate({"--baud", "1200"});
  ASSERT_TRUE(run_->terminal().waitForText(kProgressLabel, 10s));
  const std::string pty = run_->printer().ptyPath();

  Terminal second;
  std::string error, screen;
  ASSERT_TRUE(second.start({VOREN_CP852_PATH}, {{"VOREN_COM1", pty}}, &error)) << error;
  ASSERT_TRUE(second.waitForText(kPortQuestion, 10s, &screen)) << screen;
  second.type("1");
  second.press("Enter");
  EXPECT_TRUE(second.waitFor(
      [](const std::string& now) {
        const auto at = now.find("1\n\nPort COM1 jest zajety przez inny program.\n\n");
        return at != std::string::npos && now.find(kPortQuestion, at) != std::string::npos;
      },
      10s, &screen))
      << screen;
  EXPECT_EQ(screen.find("Porty COM"), std::string::npos) << screen;
  EXPECT_EQ(screen.find("nie ma portu"), std::string::npos) << screen;
  second.type("0");
  second.press("Enter");
  auto exit = second.waitForExit(10s, &screen);
  ASSERT_TRUE(exit) << screen;
  EXPECT_EQ(*exit, 1);
  EXPECT_TRUE(second.terminalRestored()) << screen;

  for (const auto& [option, name] :
       {std::pair<std::string, std::string>{"--port=1", "COM1"}, {"--device=" + pty, pty}}) {
    const auto result = runCommand({"env", "VOREN_COM1=" + pty, VOREN_CP852_PATH, option}, 10s);
    EXPECT_EQ(result.status, 1) << option;
    EXPECT_NE(result.output.find("\n\nPort " + name + " jest zajety przez inny program.\n"),
              std::string::npos)
        << result.output;
    EXPECT_EQ(result.output.find("Porty COM"), std::string::npos) << result.output;
    EXPECT_EQ(result.output.find("nie ma portu"), std::string::npos) << result.output;
  }

  // Bytes of a second sender would have broken the first copy's blocks.
  run_->stopPrinterAndReadDump();
  const std::string log = run_->printer().log();
  EXPECT_EQ(summaryCount(log, "CRC failures"), 0) << log;
  EXPECT_EQ(summaryCount(log, "protocol errors"), 0) << log;
}

// A run of ours whose terminal is given to another run as its device holds
// it: the second run is refused as in use, and nothing of it reaches that
// terminal (ESC 0x01, then a 3 s wait for an answer, when it got in).
TEST_F(UpdaterNatively, TheTerminalOfARunningDialogueIsInUse) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string tty = ptsname(master);
  // The dialogue alone has the terminal open, as in a terminal window
  // where it was started without a shell.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, tty.c_str(), O_RDWR, 0);
  posix_spawn_file_actions_adddup2(&actions, 0, 1);
  posix_spawn_file_actions_adddup2(&actions, 0, 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  const char* argv[] = {VOREN_CP852_PATH, nullptr};
  pid_t dialogue = 0;
  ASSERT_EQ(posix_spawn(&dialogue, VOREN_CP852_PATH, &actions, &attributes,
                        const_cast<char**>(argv), environ),
            0);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  // Everything the terminal is given within the time, as its window reads it.
  auto shown = [&](std::chrono::milliseconds within, const std::string& until) {
    std::string text;
    for (const auto end = std::chrono::steady_clock::now() + within;
         std::chrono::steady_clock::now() < end &&
         (until.empty() || text.find(until) == std::string::npos);) {
      pollfd ready{master, POLLIN, 0};
      char chunk[512];
      if (poll(&ready, 1, 20) == 1) {
        const ssize_t size = ::read(master, chunk, sizeof chunk);
        if (size > 0) text.append(chunk, static_cast<std::size_t>(size));
      }
    }
    return text;
  };
  const std::string before = shown(10s, kPortQuestion);
  EXPECT_NE(before.find(kPortQuestion), std::string::npos)
      << "the dialogue did not ask: " << before;

  const auto result = runCommand({VOREN_CP852_PATH, "--device", tty}, 20s);
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.output.find("Port " + tty + " jest zajety przez inny program."),
            std::string::npos)
      << result.output;
  const std::string after = shown(300ms, "");
  EXPECT_TRUE(after.empty()) << "the second run wrote into the dialogue's terminal: " << after;
  kill(dialogue, SIGKILL);
  waitpid(dialogue, nullptr, 0);
  close(master);
}

// A run looks for other holders of its port once, though it opens the port
// twice (the probe for it, then the open for the upload): strace counts the
// looks into a witness's descriptors.
TEST_F(UpdaterNatively, ARunLooksForOtherHoldersOfItsPortOnce) {
  if (runCommand({"strace", "-V"}).status != 0) GTEST_SKIP() << "no strace here";
  std::string error;
  ASSERT_TRUE(run_->startPrinter({"--fault", "0:ack:nak"}, &error)) << error;
  const char* argv[] = {"sleep", "60", nullptr};
  pid_t witness = 0;
  ASSERT_EQ(posix_spawnp(&witness, "sleep", nullptr, nullptr, const_cast<char**>(argv), environ),
            0);
  const std::string log = run_->directory() + "/strace.log";
  const auto result = runCommand({"strace", "-f", "-qq", "-e", "trace=openat", "-o", log,
                                  VOREN_CP852_PATH, "--device", run_->printer().ptyPath()},
                                 60s);
  kill(witness, SIGKILL);
  waitpid(witness, nullptr, 0);
  EXPECT_EQ(result.output.find("nie ma portu"), std::string::npos) << result.output;
  const std::string opens = readFile(log);
  const std::string folder = std::to_string(witness) + "/fd\"";
  int looks = 0;
  for (auto at = opens.find(folder); at != std::string::npos; at = opens.find(folder, at + 1)) {
    ++looks;
  }
  std::string opensOfThePort;
  std::istringstream lines(opens);
  for (std::string line; std::getline(lines, line);) {
    if (line.find(run_->printer().ptyPath()) != std::string::npos) opensOfThePort += line + "\n";
  }
  EXPECT_EQ(looks, 1) << opensOfThePort;
}

// A user the device's permissions keep out is told so, with the device and
// what to do as its group and mode stand, never that it is in use or missing;
// the program runs as an unprivileged user (root opens anything).
TEST_F(UpdaterNatively, AUserTheDeviceKeepsOutIsToldWhatToDo) {
  if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0) {
    GTEST_SKIP() << "needs root and setpriv to run the program as another user";
  }
  const group* dialout = getgrnam("dialout");
  if (dialout == nullptr) GTEST_SKIP() << "no group dialout on this system";
  std::string error;
  ASSERT_TRUE(run_->startPrinter({}, &error)) << error;
  const std::string pty = run_->printer().ptyPath();
  const std::string program = programForAnyUser(VOREN_CP852_PATH, run_->directory());
  struct Access {
    gid_t group;
    mode_t mode;
    std::string hint;
  };
  for (const Access& a :
       {Access{dialout->gr_gid, 0660,
               "Dodaj uzytkownika do grupy dialout (sudo usermod -aG dialout NAZWA) i zaloguj "
               "sie ponownie.\n"},
        Access{0, 0600, "Urzadzenie " + pty + " moze otwierac tylko root: "}}) {
    ASSERT_EQ(chown(pty.c_str(), 0, a.group), 0);
    ASSERT_EQ(chmod(pty.c_str(), a.mode), 0);
    for (const auto& [option, named] : {std::pair<std::string, std::string>{"--port=1", "COM1 (" + pty + ")"},
                                        {"--device=" + pty, pty}}) {
      const auto result = runCommand({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                      "--clear-groups", "env", "VOREN_COM1=" + pty, program,
                                      option},
                                     20s);
      EXPECT_EQ(result.status, 1) << option << "\n" << result.output;
      EXPECT_NE(result.output.find("\n\nBrak uprawnien do portu " + named + ".\n" + a.hint),
                std::string::npos)
          << result.output;
      EXPECT_EQ(result.output.find("zajety"), std::string::npos) << result.output;
      EXPECT_EQ(result.output.find("nie ma portu"), std::string::npos) << result.output;
    }
  }
}

// A copy killed mid-upload leaves the port to the next, a user's run
// included (CAP_SYS_ADMIN would pass a claim the killed copy left behind).
TEST_F(UpdaterNatively, ACopyKilledMidUploadLeavesThePortToTheNext) {
  auto next = asUserWithoutSysAdmin();
  if (!next) GTEST_SKIP() << "no setpriv to run as a user";
  startUpdate({"--baud", "115200"});
  ASSERT_TRUE(run_->terminal().waitForText(kProgressLabel, 10s));
  const pid_t first = run_->terminal().programPid().value_or(-1);
  ASSERT_GT(first, 0);
  ASSERT_EQ(::kill(first, SIGKILL), 0);
  const auto gone = std::chrono::steady_clock::now() + 5s;
  while (!processGone(first) && std::chrono::steady_clock::now() < gone) {
    std::this_thread::sleep_for(20ms);
  }

  next->insert(next->end(),
               {"env", "VOREN_COM1=" + run_->printer().ptyPath(), VOREN_CP852_PATH, "--port=1"});
  // The claim ends as its end is noticed: refusals are waited out, with a bound.
  auto result = runCommand(*next, 60s);
  for (const auto end = std::chrono::steady_clock::now() + 5s;
       result.output.find("jest zajety") != std::string::npos &&
       std::chrono::steady_clock::now() < end;
       result = runCommand(*next, 60s)) {
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_NE(result.output.find(kSuccessLine), std::string::npos) << result.output;
}

// The ports listed after a missing one: the mapped COM3, and besides it only
// ports backed by this machine's own ttyS devices, in ascending order.
TEST_F(UpdaterNatively, MissingPortListsThePortsThatExist) {
  std::string error, screen;
  ASSERT_TRUE(run_->startPrinter({}, &error)) << error;
  ASSERT_TRUE(
      run_->startProgram({VOREN_CP852_PATH}, {{"VOREN_COM3", run_->printer().ptyPath()}}, &error))
      << error;
  ASSERT_TRUE(run_->answerPort(7, 10s, &screen)) << screen;
  const std::string label = "Porty COM w tym komputerze:\n";
  // The list, then the question again.
  ASSERT_TRUE(run_->terminal().waitFor(
      [&](const std::string& now) {
        const auto at = now.find(label);
        return at != std::string::npos && now.find(kPortQuestion, at) != std::string::npos;
      },
      10s, &screen))
      << screen;
  const auto missing = screen.find("W tym komputerze nie ma portu COM7!\n" + label);
  ASSERT_NE(missing, std::string::npos) << screen;
  // One port a line, "  COM1" and what is known of it after a colon.
  std::istringstream list(screen.substr(screen.find(label, missing) + label.size()));
  std::vector<int> numbers;
  for (std::string line; std::getline(list, line) && line.starts_with("  COM");) {
    numbers.push_back(std::stoi(line.substr(5)));
    if (numbers.back() != 3) {
      EXPECT_TRUE(fs::exists("/dev/ttyS" + std::to_string(numbers.back() - 1))) << line;
    } else {
      EXPECT_EQ(line, "  COM3") << "a pseudo-terminal has nothing known of it";
    }
  }
  EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end())) << screen;
  EXPECT_EQ(std::count(numbers.begin(), numbers.end(), 3), 1) << screen;

  run_->terminal().type("0");
  run_->terminal().press("Enter");
  auto exit = run_->terminal().waitForExit(10s, &screen);
  ASSERT_TRUE(exit) << screen;
  EXPECT_EQ(*exit, 1);
}

TEST_F(UpdaterNatively, RegularFileAsThePortIsRefusedAndLeftAlone) {
  const std::string file = run_->directory() + "/com7";
  const std::string content = "not a serial port\n";
  std::ofstream(file) << content;
  std::string error, screen;
  ASSERT_TRUE(run_->startProgram({VOREN_CP852_PATH}, {{"VOREN_COM7", file}}, &error)) << error;
  ASSERT_TRUE(run_->answerPort(7, 10s, &screen)) << screen;
  EXPECT_TRUE(run_->terminal().waitForText("Nie mozna zainicjowac portu COM7!", 10s, &screen))
      << screen;
  EXPECT_EQ(run_->expectExitAfterKey(10s), 1);
  EXPECT_EQ(readFile(file), content);
}

}  // namespace
}  // namespace voren::test
