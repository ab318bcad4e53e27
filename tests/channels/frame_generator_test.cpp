// The frame generator: its rules as a table of typed fields and the bytes
// that go on the air, and its window as the operator fills it through the
// UI driver, with the sent frame shown in the monitor.

#include "ax25/frame_generator.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ax25/frame_codec.h"
#include "channels/frame_generator_window.h"
#include "toolbox_fixture.h"
#include "ui/fifo_text.h"

namespace tarvik::test {
namespace {

using ax25::CrPf;
using Bytes = std::vector<std::uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Call signs on the air: each character shifted left by one, blanks to six,
// then the SSID byte 0x60 + SSID * 2, plus 0x80 for the C bit and 1 for the
// last address.
const Bytes kDB0XYZ = {0x88, 0x84, 0x60, 0xB0, 0xB2, 0xB4};
const Bytes kDL1ABC = {0x88, 0x98, 0x62, 0x82, 0x84, 0x86};
const Bytes kDB0XY = {0x88, 0x84, 0x60, 0xB0, 0xB2, 0x40};

struct ComposeCase {
  const char* name;
  ax25::FrameGeneratorFields fields;
  std::optional<Bytes> bytes;  // nothing: no frame is sent
};

class ComposeTest : public ::testing::TestWithParam<ComposeCase> {};

TEST_P(ComposeTest, FieldsToBytes) {
  const ComposeCase& c = GetParam();
  const std::optional<ax25::FrameRecord> frame = ax25::ComposeGeneratorFrame(c.fields);
  ASSERT_EQ(frame.has_value(), c.bytes.has_value());
  if (!frame) return;
  EXPECT_EQ(frame->port, 0);
  // The record names what goes on the air (the monitor reads it).
  EXPECT_EQ(frame->crpf, c.fields.crpf == CrPf::None ? CrPf::Response : c.fields.crpf);
  EXPECT_EQ(ax25::ViaCount(frame->via), 0u);
  const std::optional<ax25::RawFrameBuffer> raw = ax25::EncodeFrame(*frame);
  ASSERT_TRUE(raw);
  const auto bytes = raw->bytes();
  EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), *c.bytes);
}

ax25::FrameGeneratorFields Fields(std::string from, std::string to, std::string type, CrPf crpf,
                                  std::string nr = "0", std::string ns = "0",
                                  std::string channel = "0", std::string data = "") {
  ax25::FrameGeneratorFields f;
  f.from = std::move(from);
  f.to = std::move(to);
  f.type = std::move(type);
  f.crpf = crpf;
  f.nr = std::move(nr);
  f.ns = std::move(ns);
  f.channel = std::move(channel);
  f.data = std::move(data);
  return f;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ComposeTest,
    ::testing::Values(
        // Command with poll: destination C bit set, P bit in the control byte.
        ComposeCase{"SabmWithPoll", Fields("DL1ABC", "DB0XYZ", "SABM", CrPf::CommandPoll),
                    Concat({{0x00}, kDB0XYZ, {0xE0}, kDL1ABC, {0x61, 0x3F}})},
        // N(R) 9 is out of range and sent as 0; radio channel 12 as 0; the
        // line mark becomes blank, line feed, carriage return.
        ComposeCase{"IFrameOutOfRangeNumbersAndLineMarks",
                    Fields("DL1ABC", "DB0XYZ", "I", CrPf::Command, "9", "3", "12",
                           "a\\%nb\\%nc"),
                    Concat({{0x00}, kDB0XYZ, {0xE0}, kDL1ABC, {0x61, 0x06, 0xF0},
                            Text("a \n\rb \n\rc")})},
        // No command/response chosen: a response without final. An unknown
        // type text is UI; the radio channel goes into the KISS byte.
        ComposeCase{"UnchosenCodeAndUnknownTypeGiveAUiResponse",
                    Fields("DL1ABC", "DB0XY", "", CrPf::None, "0", "0", "2", "hi"),
                    Concat({{0x20}, kDB0XY, {0x60}, kDL1ABC, {0xE1, 0x03, 0xF0}, Text("hi")})},
        // Response with final, SSIDs, N(R) 5; the text is sent with every
        // frame type, also with a supervisory one.
        ComposeCase{"RrWithFinalSsidsAndText",
                    Fields("DL1ABC-7", "DB0XYZ-15", "RR", CrPf::ResponseFinal, "5", "7", "9", "x"),
                    Concat({{0x90}, kDB0XYZ, {0x7E}, kDL1ABC, {0xEF, 0xB1}, Text("x")})},
        ComposeCase{"DmResponse", Fields("DL1ABC", "DB0XYZ", "DM", CrPf::Response),
                    Concat({{0x00}, kDB0XYZ, {0x60}, kDL1ABC, {0xE1, 0x0F}})},
        ComposeCase{"RejCommandWithNr", Fields("DL1ABC", "DB0XYZ", "REJ", CrPf::Command, "2"),
                    Concat({{0x00}, kDB0XYZ, {0xE0}, kDL1ABC, {0x61, 0x49}})},
        ComposeCase{"NegativeNumbersAreZero",
                    Fields("DL1ABC", "DB0XYZ", "I", CrPf::Command, "-1", "x", "-3"),
                    Concat({{0x00}, kDB0XYZ, {0xE0}, kDL1ABC, {0x61, 0x00, 0xF0}})},
        ComposeCase{"OneCharacterSource", Fields("D", "DB0XYZ", "SABM", CrPf::CommandPoll),
                    std::nullopt},
        ComposeCase{"OneCharacterDestination", Fields("DL1ABC", "D", "SABM", CrPf::CommandPoll),
                    std::nullopt},
        ComposeCase{"SsidAboveFifteen", Fields("DL1ABC", "DB0XYZ-16", "UI", CrPf::Command),
                    std::nullopt},
        ComposeCase{"NotACall", Fields("DL1/BC", "DB0XYZ", "UI", CrPf::Command),
                    std::nullopt}),
    [](const ::testing::TestParamInfo<ComposeCase>& param_info) { return std::string(param_info.param.name); });

TEST(FrameGeneratorRules, DataIsCutAt256CharactersBeforeLinesAreMarked) {
  const std::string text = std::string(254, 'x') + "\\%n";  // the mark straddles the limit
  EXPECT_EQ(ax25::GeneratorInfoText(text), std::string(254, 'x') + "\\%");
  EXPECT_EQ(ax25::GeneratorInfoText(std::string(300, 'y')).size(), 256u);
}

using FrameGeneratorWindowTest = ToolboxFixture;

TEST_F(FrameGeneratorWindowTest, OperatorComposesASabmAndTheMonitorShowsIt) {
  Start();
  ASSERT_EQ(Drive("press MAIN MONITOR"), "OK");
  ASSERT_EQ(Drive("press MAIN MECH"), "OK");
  const ui::WindowId mech = forms->windowsOf(channels::kFrameGeneratorNumber).front();
  auto sendEnabled = [&] { return Drive("state MECH SEND").find("enabled=1") != std::string::npos; };

  EXPECT_EQ(Drive("get MECH DATA"), "OK");  // cleared when the window opens
  EXPECT_FALSE(sendEnabled());
  ASSERT_EQ(Drive("set MECH CALLFROM dl1abc"), "OK");
  ASSERT_EQ(Drive("set MECH CALLTO D"), "OK");
  EXPECT_FALSE(sendEnabled());  // one character is not a call
  ASSERT_EQ(Drive("set MECH CALLTO DB0XYZ"), "OK");
  EXPECT_TRUE(sendEnabled());
  ASSERT_EQ(Drive("set MECH FRAME SABM"), "OK");
  ASSERT_EQ(Drive("press MECH POLL"), "OK");
  EXPECT_EQ(tk.findAs<channels::FrameGeneratorWindow>(mech)->crpf(), CrPf::CommandPoll);
  ASSERT_EQ(Drive("set MECH DATA one\\\\%ntwo"), "OK");
  ASSERT_EQ(Drive("press MECH SEND"), "OK");

  ASSERT_EQ(sent.size(), 1u);
  const std::optional<ax25::RawFrameBuffer> raw = ax25::EncodeFrame(sent[0]);
  ASSERT_TRUE(raw);
  EXPECT_EQ(Bytes(raw->bytes().begin(), raw->bytes().end()),
            Concat({{0x00}, kDB0XYZ, {0xE0}, kDL1ABC, {0x61, 0x3F}, Text("one \n\rtwo")}));

  // The monitor shows it as a sent frame: its header in red.
  auto* monitor = tk.findAs<channels::MonitorWindow>(channels::FindMonitorWindow(tk));
  ASSERT_NE(monitor, nullptr);
  ui::FifoText* pane = ui::FindFifo(tk, monitor->textPane());
  ASSERT_NE(pane, nullptr);
  const ui::FifoLines& lines = pane->lines();
  ASSERT_NE(lines.oldest(), lines.writeIndex());
  EXPECT_EQ(lines.slot(lines.oldest()).text, "0:0:DL1ABC to DB0XYZ SABM P");
  EXPECT_EQ(lines.slot(lines.oldest()).colour, ui::kRed);

  // Without a chosen code the frame is a plain response, also for the monitor.
  ASSERT_EQ(Drive("press MAIN MECH"), "OK");  // raises the open window
  EXPECT_EQ(forms->windowsOf(channels::kFrameGeneratorNumber).size(), 1u);
  tk.destroy(mech);
  ASSERT_EQ(Drive("press MAIN MECH"), "OK");
  ASSERT_EQ(Drive("set MECH CALLFROM DL1ABC"), "OK");
  ASSERT_EQ(Drive("set MECH CALLTO DB0XYZ"), "OK");
  ASSERT_EQ(Drive("set MECH FRAME UI"), "OK");
  ASSERT_EQ(Drive("press MECH SEND"), "OK");
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1].crpf, CrPf::Response);
  std::string last;
  for (int i = lines.oldest(); i != lines.writeIndex(); i = ui::FifoLines::Next(i)) last = lines.slot(i).text;
  EXPECT_EQ(last, "0:0:DL1ABC to DB0XYZ UI Pid f0 M");

  // Emptying a call disables SEND again; Enter then sends nothing.
  ASSERT_EQ(Drive("set MECH CALLFROM"), "OK");
  EXPECT_FALSE(sendEnabled());
  Drive("type MECH CALLTO {ENTER}");
  EXPECT_EQ(sent.size(), 2u);

  // Escape closes the window and the toolbox opens a new one.
  Drive("type MECH CALLTO {ESC}");
  EXPECT_TRUE(forms->windowsOf(channels::kFrameGeneratorNumber).empty());
  EXPECT_EQ(Drive("press MAIN MECH"), "OK");
  EXPECT_EQ(forms->windowsOf(channels::kFrameGeneratorNumber).size(), 1u);
}

TEST_F(FrameGeneratorWindowTest, RadioGroupStoresItsCodeAndStrangersAreReported) {
  Start();
  ASSERT_EQ(Drive("press MAIN MECH"), "OK");
  auto& mech = *tk.findAs<channels::FrameGeneratorWindow>(
      forms->windowsOf(channels::kFrameGeneratorNumber).front());
  EXPECT_EQ(mech.crpf(), CrPf::None);
  const std::vector<std::pair<const char*, CrPf>> group = {
      {"FINAL", CrPf::ResponseFinal}, {"CMD", CrPf::Command},
      {"MSG", CrPf::Response},        {"POLL", CrPf::CommandPoll}};
  for (const auto& [button, code] : group) {
    ASSERT_EQ(Drive(std::string("press MECH ") + button), "OK");
    EXPECT_EQ(mech.crpf(), code) << button;
    EXPECT_NE(Drive(std::string("state MECH ") + button).find("checked=1"), std::string::npos);
  }
  ASSERT_EQ(Drive("select MECH FRAME I"), "OK");  // a field's own notice: nothing to report
  EXPECT_TRUE(tk.openMessageDialogs().empty());

  mech.Command(13);
  tk.sendUser(mech.id(), 4711);
  ASSERT_EQ(tk.openMessageDialogs().size(), 2u);
  EXPECT_EQ(tk.openMessageDialogs()[0].lines[0], "Unknown command 13 MECH");
  EXPECT_EQ(tk.openMessageDialogs()[1].lines[0], "Unknown event 4711 MECH");
}

}  // namespace
}  // namespace tarvik::test
