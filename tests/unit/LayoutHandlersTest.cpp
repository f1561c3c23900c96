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

// The resulting layout: where the editor is, and whether every other visible control
// of the design (all but the editor and the version label) shows.
void ExpectLayout(const FakeRuntimeServices& services, int top, int height, bool visible) {
  EXPECT_EQ(services.Peek(Control::编辑框1, Property::Top).AsInt(), top);
  EXPECT_EQ(services.Peek(Control::编辑框1, Property::Height).AsInt(), height);
  int toggled = 0;
  for (const ControlDefinition& control : MainWindowDefinition().controls) {
    if (!control.visible || control.kind == ControlKind::CommonDialog ||
        control.name == Control::编辑框1 || control.name == Control::透明标签1)
      continue;
    EXPECT_EQ(services.Peek(control.name, Property::Visible), Value(visible))
        << static_cast<int>(control.name);
    ++toggled;
  }
  EXPECT_EQ(toggled, 16) << "the controls both layouts switch";
}

TEST_F(LayoutHandlersTest, CompactLayoutGivesTheEditorTheWindowAndHidesTheRest) {
  CompactLayout(services);
  ExpectLayout(services, 23, 553, false);
  EXPECT_EQ(services.Peek(Control::编辑框1, Property::Top).AsInt() +
                services.Peek(Control::编辑框1, Property::Height).AsInt(),
            576);
}

TEST_F(LayoutHandlersTest, RestoreLayoutReturnsToTheDesignLayout) {
  CompactLayout(services);
  services.ClearCalls();
  RestoreLayout(services);
  ExpectLayout(services, 103, 453, true);
}

TEST_F(LayoutHandlersTest, LayoutsNeverTouchEnabledStates) {
  services.Preset(Control::按钮11, Property::Disabled, false);
  CompactLayout(services);
  RestoreLayout(services);
  for (const auto& call : services.CallsOf<SetPropertyCall>())
    EXPECT_NE(call.property, Property::Disabled) << "disabled states belong to the readers";
  EXPECT_EQ(services.Peek(Control::按钮11, Property::Disabled), Value(false));
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
  TitleFromBanner(services);
  EXPECT_EQ(services.Peek(Control::_启动窗口, Property::Title).AsText(), banner);

  services.Preset(Control::编辑框2, Property::Content, Text());
  TitleFromBanner(services);
  EXPECT_EQ(services.Peek(Control::_启动窗口, Property::Title).AsText(), "");
}

TEST_F(LayoutHandlersTest, MainMenuPopsUpAtTheDefaultPositionOnTheVersionLabel) {
  ShowMainMenu(services);
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
