#include "app/LayoutHandlers.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <set>

#include "app/MainWindowDefinition.h"
#include "support/FakeRuntimeServices.h"

namespace {

class LayoutHandlersTest : public ::testing::Test {
 protected:
  FakeRuntimeServices services;
  Program program{services};
};

// The editor's two changes come first, then one visibility change per control.
void ExpectLayout(const FakeRuntimeServices& services, int top, int height, bool visible) {
  const auto calls = services.CallsOf<SetPropertyCall>();
  ASSERT_EQ(calls.size(), 18u);
  EXPECT_EQ(calls[0].control, Control::编辑框1);
  EXPECT_EQ(calls[0].property, Property::Top);
  EXPECT_EQ(calls[0].value.AsInt(), top);
  EXPECT_EQ(calls[1].control, Control::编辑框1);
  EXPECT_EQ(calls[1].property, Property::Height);
  EXPECT_EQ(calls[1].value.AsInt(), height);
  std::set<Control> changed;
  for (size_t i = 2; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].property, Property::Visible);
    EXPECT_EQ(calls[i].value, Value(visible));
    changed.insert(calls[i].control);
  }
  EXPECT_EQ(changed.size(), 16u) << "each control once";
  EXPECT_EQ(calls.back().control, Control::按钮13) << "the clicked button goes last";
}

TEST_F(LayoutHandlersTest, CompactLayoutGivesTheEditorTheWindowAndHidesTheRest) {
  CompactLayout(program);
  ExpectLayout(services, 23, 553, false);
  EXPECT_EQ(services.Peek(Control::编辑框1, Property::Top).AsInt() +
                services.Peek(Control::编辑框1, Property::Height).AsInt(),
            576);
}

TEST_F(LayoutHandlersTest, RestoreLayoutReturnsToTheDesignLayout) {
  CompactLayout(program);
  services.ClearCalls();
  RestoreLayout(program);
  ExpectLayout(services, 103, 453, true);
}

TEST_F(LayoutHandlersTest, LayoutsNeverTouchEnabledStates) {
  services.Preset(Control::按钮11, Property::Disabled, false);
  CompactLayout(program);
  RestoreLayout(program);
  for (const auto& call : services.CallsOf<SetPropertyCall>())
    EXPECT_NE(call.property, Property::Disabled) << "disabled states belong to the readers";
  EXPECT_EQ(services.Peek(Control::按钮11, Property::Disabled), Value(false));
}

// Every visible control of the design but the editor and the version label is
// hidden by the compact layout, so nothing is left floating over the editor.
TEST_F(LayoutHandlersTest, CompactLayoutCoversEveryVisibleControlOfTheDesign) {
  CompactLayout(program);
  std::set<Control> hidden;
  for (const auto& call : services.CallsOf<SetPropertyCall>())
    if (call.property == Property::Visible) hidden.insert(call.control);
  for (const ControlDefinition& control : MainWindowDefinition().controls) {
    if (!control.visible || control.kind == ControlKind::CommonDialog) continue;
    const bool staysVisible =
        control.name == Control::编辑框1 || control.name == Control::透明标签1;
    EXPECT_NE(hidden.count(control.name) > 0, staysVisible) << static_cast<int>(control.name);
  }
}

TEST_F(LayoutHandlersTest, ClearEditorEmptiesTheEditorWithoutAsking) {
  services.Preset(Control::编辑框1, Property::Content, Text("脚本\r\n第二行"));
  ClearEditor(program);
  EXPECT_EQ(services.Peek(Control::编辑框1, Property::Content).AsText(), "");
  EXPECT_TRUE(services.CallsOf<MessageBoxCall>().empty());
}

TEST_F(LayoutHandlersTest, TitleFollowsTheBannerIncludingLineBreaksAndEmptiness) {
  const Text banner = "新标题\r\n第二行";
  services.Preset(Control::编辑框2, Property::Content, banner);
  TitleFromBanner(program);
  EXPECT_EQ(services.Peek(Control::_启动窗口, Property::Title).AsText(), banner);

  services.Preset(Control::编辑框2, Property::Content, Text());
  TitleFromBanner(program);
  EXPECT_EQ(services.Peek(Control::_启动窗口, Property::Title).AsText(), "");
}

TEST_F(LayoutHandlersTest, MainMenuPopsUpAtTheDefaultPositionOnTheVersionLabel) {
  ShowMainMenu(program);
  const auto calls = services.CallsOf<PopUpMenuCall>();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].owner, Control::透明标签1);
  EXPECT_EQ(calls[0].x, std::nullopt) << "no explicit position: next to the cursor";
  EXPECT_EQ(calls[0].y, std::nullopt);
}

// The fake holds every property to the kind of value its design gives it.
TEST(FakeRuntimeServicesKinds, AValueOfAnotherKindFailsTheTest) {
  FakeRuntimeServices services;
  EXPECT_NONFATAL_FAILURE(
      services.SetProperty(Control::编辑框1, Property::Visible, Value(1), FontElement::None),
      "by design it holds logical");
  EXPECT_NONFATAL_FAILURE(
      services.SetProperty(Control::编辑框1, Property::Font, Value(true), FontElement::Size),
      "by design it holds integer");
}

}  // namespace
