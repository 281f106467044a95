// Every spelling of a COM name, read by the one parser the program has: the
// same answers natively and in the Windows build.
#include "platform/win32/com_device.h"

#include <gtest/gtest.h>

#include <string>

namespace voren {
namespace {

struct Spelling {
  const char* name;
  const char* text;
  bool comName;         // spelled as a COM port at all
  int port;             // the port it names, 0 for none
  const char* refusal;  // the reason it names none
};

class ComNameSpelling : public ::testing::TestWithParam<Spelling> {};

TEST_P(ComNameSpelling, ReadsTheSameEverywhere) {
  const Spelling& s = GetParam();
  const auto read = comNumberOfName(s.text);
  ASSERT_EQ(read.has_value(), s.comName);
  if (!read) return;
  EXPECT_EQ(read->port.value_or(0), s.port);
  EXPECT_EQ(read->refusal, s.refusal ? s.refusal : "");
  // A name spelled as a COM port means the same to --device on every system.
  const auto device = comPortForDevice(s.text);
  EXPECT_EQ(device.port, read->port);
  EXPECT_EQ(device.refusal, read->refusal);
}

INSTANTIATE_TEST_SUITE_P(
    ComNames, ComNameSpelling,
    ::testing::Values(
        Spelling{"Com1", "COM1", true, 1, nullptr}, Spelling{"Com9", "COM9", true, 9, nullptr},
        Spelling{"AnyCase", "cOm3", true, 3, nullptr},
        Spelling{"Prefixed", R"(\\.\COM3)", true, 3, nullptr},
        Spelling{"PrefixedLowerCase", R"(\\.\com12)", true, 12, nullptr},
        Spelling{"Prefixed255", R"(\\.\COM255)", true, 255, nullptr},
        Spelling{"Com10", "COM10", true, 0,
                 R"(COM10 without \\.\ is no name Windows opens; write \\.\COM10)"},
        Spelling{"Com0", "COM0", true, 0, "no COM port has the number 0"},
        Spelling{"PrefixedCom00", R"(\\.\COM00)", true, 0, "no COM port has the number 0"},
        Spelling{"Com256", R"(\\.\COM256)", true, 0, "COM ports go up to COM255"},
        Spelling{"ManyDigits", "COM99999999999999999999", true, 0, "COM ports go up to COM255"},
        Spelling{"LeadingZero", "com03", true, 0,
                 "a COM port is named without a leading zero; write COM3"},
        Spelling{"PrefixedLeadingZero", R"(\\.\COM010)", true, 0,
                 R"(a COM port is named without a leading zero; write \\.\COM10)"},
        Spelling{"NoNumber", "COM", false, 0, nullptr},
        Spelling{"Colon", "COM3:", false, 0, nullptr}, Spelling{"Sign", "COM+3", false, 0, nullptr},
        Spelling{"Path", "/dev/ttyUSB0", false, 0, nullptr},
        Spelling{"PathEndingInACom", "dev/COM3", false, 0, nullptr},
        Spelling{"OtherDevice", R"(\\.\LPT1)", false, 0, nullptr},
        Spelling{"ForwardPrefix", "//./COM3", false, 0, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace voren
