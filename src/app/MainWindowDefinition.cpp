#include "app/MainWindowDefinition.h"

#include "app/Branding.h"

extern "C" const std::uint8_t orvane_logo_begin[];
extern "C" const std::uint8_t orvane_logo_end[];

namespace {

ControlDefinition Button(Control name, int left, int width, const char* caption) {
  ControlDefinition c;
  c.name = name;
  c.kind = ControlKind::Button;
  c.left = left;
  c.top = 3;
  c.width = width;
  c.height = 33;
  c.caption = caption;
  return c;
}

ControlDefinition Hidden(Control name, ControlKind kind) {
  ControlDefinition c;
  c.name = name;
  c.kind = kind;
  c.visible = false;
  return c;
}

ControlDefinition Dialog(Control name, int type, const char* filter, const char* extension) {
  ControlDefinition c = Hidden(name, ControlKind::CommonDialog);
  c.dialogType = type;
  c.filter = filter;
  c.defaultExtension = extension;
  return c;
}

}  // namespace

ByteBuffer LogoPicture() { return ByteBuffer(orvane_logo_begin, orvane_logo_end); }

WindowDefinition MainWindowDefinition() {
  WindowDefinition w;
  w.name = Control::_启动窗口;
  w.title = InitialTitle();
  w.outerWidth = 783;
  w.outerHeight = 583;

  ControlDefinition picture;
  picture.name = Control::图片框1;
  picture.kind = ControlKind::PictureBox;
  picture.left = 3, picture.top = 3, picture.width = 153, picture.height = 93;
  picture.picture = LogoPicture();
  w.controls.push_back(picture);

  w.controls.push_back(Button(Control::按钮7, 173, 33, "打字"));

  ControlDefinition speed;
  speed.name = Control::编辑框3;
  speed.kind = ControlKind::EditBox;
  speed.left = 207, speed.top = 3, speed.width = 18, speed.height = 33;
  speed.caption = "7";
  speed.align = TextAlign::Centre;
  speed.spinMinimum = 1;
  speed.spinMaximum = 10;
  w.controls.push_back(speed);

  ControlDefinition typingControl = Button(Control::按钮1, 243, 33, "打字控制");
  typingControl.font = {"宋体", 12, false};
  typingControl.disabled = true;
  w.controls.push_back(typingControl);

  w.controls.push_back(Button(Control::按钮2, 283, 33, "打开"));
  w.controls.push_back(Button(Control::按钮3, 328, 33, "保存"));
  w.controls.push_back(Button(Control::按钮4, 373, 33, "另存"));
  w.controls.push_back(Button(Control::按钮6, 418, 33, "撤销"));
  w.controls.push_back(Button(Control::按钮8, 463, 33, "字体"));
  w.controls.push_back(Button(Control::按钮9, 508, 33, "清空"));
  w.controls.push_back(Button(Control::按钮5, 553, 33, "截图"));
  w.controls.push_back(Button(Control::按钮10, 604, 23, "语音"));
  ControlDefinition pause = Button(Control::按钮11, 625, 23, "暂停");
  pause.disabled = true;
  w.controls.push_back(pause);
  ControlDefinition stop = Button(Control::按钮12, 645, 23, "结束");
  stop.disabled = true;
  w.controls.push_back(stop);
  w.controls.push_back(Button(Control::按钮13, 683, 33, "上移"));

  ControlDefinition version;
  version.name = Control::透明标签1;
  version.kind = ControlKind::TransparentLabel;
  version.left = 723, version.top = -3, version.width = 53, version.height = 23;
  version.caption = "V6.3";
  version.font = {"宋体", 19, false};
  w.controls.push_back(version);

  ControlDefinition banner;
  banner.name = Control::编辑框2;
  banner.kind = ControlKind::EditBox;
  banner.left = 163, banner.top = 43, banner.width = 603, banner.height = 53;
  banner.caption = BannerText();
  banner.multiLine = true;
  banner.verticalScrollBar = true;
  banner.align = TextAlign::Centre;
  banner.textColour = Rgb(0, 136, 255);
  banner.font = {"宋体", 21, true};
  w.controls.push_back(banner);

  ControlDefinition editor;
  editor.name = Control::编辑框1;
  editor.kind = ControlKind::EditBox;
  editor.left = 1, editor.top = 103, editor.width = 773, editor.height = 453;
  editor.multiLine = true;
  editor.verticalScrollBar = true;
  editor.font = {"宋体", 20, false};
  w.controls.push_back(editor);

  ControlDefinition notify = Hidden(Control::标签1, ControlKind::Label);
  notify.left = 16, notify.top = 112, notify.width = 24, notify.height = 16;
  w.controls.push_back(notify);

  w.controls.push_back(Hidden(Control::气球提示框1, ControlKind::BalloonTip));
  w.controls.push_back(Dialog(Control::通用对话框, 0, "文本文件(*.txt)|*.txt", "txt"));
  w.controls.push_back(Dialog(Control::通用对话框1, 2, "", ""));
  w.controls.push_back(Dialog(Control::通用对话框3, 1, "WAV音频(*.wav)|*.wav", "wav"));
  w.controls.push_back(Dialog(Control::通用对话框2, 0,
                              "所有图片(*.jpg;*.bmp;*.gif)|*.jpg;*.bmp;*.gif|JPEG图片(*.jpg)|*.jpg|"
                              "位图文件(*.bmp)|*.bmp|GIF图片文件(*.gif)|*.gif|",
                              ""));

  MenuDefinition menu;
  menu.menu = Menu::菜单;
  menu.caption = "菜单";
  menu.visible = false;
  menu.items = {{MenuItem::退出, "退出"},
                {MenuItem::上移还原, "上移还原"},
                {MenuItem::本软件更新, "本软件更新"},
                {MenuItem::定制软件专版, "定制软件专版"},
                {MenuItem::关于Orvane, "关于Orvane"},
                {MenuItem::对本软件有建议或意见, "对本软件有建议或意见"},
                {MenuItem::朗读时标出句子, "朗读时标出句子", true},
                {MenuItem::导出语音和字幕, "导出语音和字幕…"},
                {MenuItem::打字到当前窗口, "打字到当前窗口", true},
                {MenuItem::发音词典, "发音词典…"},
                {MenuItem::自然节奏, "自然节奏", true},
                {MenuItem::热键设置, "热键设置…"},
                {MenuItem::语音设置, "语音设置…"}};
  w.menus.push_back(menu);
  return w;
}
