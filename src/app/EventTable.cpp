#include "app/EventTable.h"

#include "aids/HotKeys.h"
#include "aids/ScreenCapture.h"
#include "aids/TypingEffect.h"
#include "aids/TypingIntoWindow.h"
#include "app/LayoutHandlers.h"
#include "app/NarrationHandlers.h"
#include "app/ProgramActions.h"
#include "app/StartupAndExit.h"
#include "app/VoiceSettingsHandler.h"
#include "document/EditorAppearance.h"
#include "online/OnlineServices.h"

namespace {

template <void (*Handler)(Program&)>
void Run(Program& program, const Event&) {
  Handler(program);
}

EventBinding On(EventKind kind, Control source, void (*handler)(Program&, const Event&)) {
  return {kind, source, std::nullopt, handler};
}

EventBinding OnMenu(MenuItem item, void (*handler)(Program&, const Event&)) {
  return {EventKind::MenuItemClicked, Control::_启动窗口, item, handler};
}

void StartTypingClicked(Program& program, const Event&) {
  EndWindowTyping(program.services, program.windowTyping);
  StartTyping(program.services, program.typing);
}

void TypingControlClicked(Program& program, const Event&) {
  TypingControlPressed(program.services, program.windowTyping, program.typing);
}

void LoadTypingModeOnCreation(Program& program, const Event&) {
  LoadTypingMode(program.services, program.windowTyping);
  LoadNaturalRhythm(program.services, program.typing);
}

void NaturalRhythmClicked(Program& program, const Event&) {
  ToggleNaturalRhythm(program.services, program.typing);
}

void TypingModeClicked(Program& program, const Event&) {
  ToggleTypingMode(program.services, program.windowTyping);
}

void OpenClicked(Program& program, const Event&) {
  OpenDocument(program.services, program.document);
}

void SaveClicked(Program& program, const Event&) {
  SaveDocument(program.services, program.document, Text(), false);
}

void SaveAsClicked(Program& program, const Event&) {
  SaveDocumentAs(program.services, program.document);
}

void CloseRequested(Program& program, const Event& event) {
  event.refused = !MainWindowCloseRequested(program);
}

void EditorChanged(Program& program, const Event&) {
  AutosaveTextChanged(program.services, program.document, program.autosave);
}

void ReadClicked(Program& program, const Event&) { StartOrContinueReading(program.Reading()); }

void PauseClicked(Program& program, const Event&) { PauseReading(program.Reading()); }

void StopClicked(Program& program, const Event&) { StopReading(program.Reading()); }

void HighlightClicked(Program& program, const Event&) { ToggleReadingHighlight(program.Reading()); }

void HotKeyPressed(Program& program, const Event& event) {
  if (event.second == kHotKeyRefused) {
    HotKeyRefusedLater(program.services, program.hotKeys, event.first);
    return;
  }
  if (WindowTypingKeyPressed(program.services, program.windowTyping, event.first)) return;
  DispatchHotKey(program.hotKeys, event.first,
                 [&program](HotKeyAction action) { RunProgramAction(program, action); });
}

void HotKeySettingsClicked(Program& program, const Event&) {
  ChooseHotKeys(program.services, program.hotKeys);
}

void ActionRequestedFromOutside(Program& program, const Event& event) {
  ActionRequested(program, event.text);
}

void OpenRequestedFromOutside(Program& program, const Event& event) {
  OpenRequested(program, event.text);
}

void HotKeyTip(Program& program, const Event& event) {
  ShowHotKeyTip(program.services, program.hotKeys, event.source);
}

// The handler takes only the roles it uses; the catalogue plays them all.
template <auto Handler>
void WithServices(Program& program, const Event&) {
  Handler(program.services);
}

}  // namespace

const std::vector<EventBinding>& MainWindowEvents() {
  static const std::vector<EventBinding> table = {
      On(EventKind::Created, Control::_启动窗口, Run<MainWindowCreated>),
      On(EventKind::Created, Control::_启动窗口, LoadTypingModeOnCreation),
      On(EventKind::Destroyed, Control::_启动窗口, Run<MainWindowDestroyed>),
      On(EventKind::Clicked, Control::按钮7, StartTypingClicked),
      On(EventKind::MouseMoved, Control::按钮7, HotKeyTip),
      On(EventKind::Clicked, Control::按钮10, ReadClicked),
      On(EventKind::Clicked, Control::按钮11, PauseClicked),
      On(EventKind::Clicked, Control::按钮12, StopClicked),
      On(EventKind::MouseMoved, Control::按钮10, HotKeyTip),
      On(EventKind::MouseMoved, Control::按钮11, HotKeyTip),
      On(EventKind::MouseMoved, Control::按钮12, HotKeyTip),
      On(EventKind::ActionRequested, Control::_启动窗口, ActionRequestedFromOutside),
      On(EventKind::OpenRequested, Control::_启动窗口, OpenRequestedFromOutside),
      On(EventKind::Feedback, Control::标签1, HotKeyPressed),
      On(EventKind::Clicked, Control::按钮1, TypingControlClicked),
      On(EventKind::CloseRequested, Control::_启动窗口, CloseRequested),
      On(EventKind::RightMouseDown, Control::图片框1, WithServices<ChooseLogoPicture>),
      On(EventKind::Clicked, Control::按钮2, OpenClicked),
      On(EventKind::Clicked, Control::按钮3, SaveClicked),
      On(EventKind::Clicked, Control::按钮4, SaveAsClicked),
      On(EventKind::Clicked, Control::按钮6, WithServices<UndoEdit>),
      On(EventKind::Clicked, Control::按钮8, WithServices<ChooseEditorFont>),
      On(EventKind::Clicked, Control::按钮9, Run<ClearEditor>),
      On(EventKind::Clicked, Control::按钮5, WithServices<CaptureScreenArea>),
      On(EventKind::Clicked, Control::按钮13, WithServices<CompactLayout>),
      On(EventKind::MouseMoved, Control::透明标签1, WithServices<ShowMainMenu>),
      On(EventKind::ContentChanged, Control::编辑框2, WithServices<TitleFromBanner>),
      On(EventKind::ContentChanged, Control::编辑框1, EditorChanged),
      OnMenu(MenuItem::退出, Run<ExitProgram>),
      OnMenu(MenuItem::上移还原, WithServices<RestoreLayout>),
      OnMenu(MenuItem::本软件更新, WithServices<OpenUpdatePage>),
      OnMenu(MenuItem::定制软件专版, WithServices<OpenCustomEditionPages>),
      OnMenu(MenuItem::关于Orvane, WithServices<OpenAboutPage>),
      OnMenu(MenuItem::对本软件有建议或意见, WithServices<OpenFeedbackPage>),
      OnMenu(MenuItem::朗读时标出句子, HighlightClicked),
      OnMenu(MenuItem::导出语音和字幕, Run<ExportNarrationClicked>),
      OnMenu(MenuItem::发音词典, WithServices<EditPronunciations>),
      OnMenu(MenuItem::打字到当前窗口, TypingModeClicked),
      OnMenu(MenuItem::自然节奏, NaturalRhythmClicked),
      OnMenu(MenuItem::热键设置, HotKeySettingsClicked),
      OnMenu(MenuItem::语音设置, Run<VoiceSettingsClicked>),
  };
  return table;
}

void DispatchEvent(Program& program, const Event& event) {
  for (const EventBinding& binding : MainWindowEvents()) {
    if (binding.kind != event.kind) continue;
    const bool matches = event.kind == EventKind::MenuItemClicked ? binding.item == event.item
                                                                  : binding.source == event.source;
    if (matches) binding.handler(program, event);
  }
}
