#include "online/OnlineServices.h"

#include "online/ReleasePage.h"
#include "online/VendorSite.h"

Text ReleasePageAddress() { return ForumAddress("/thread-11379-1-1.html"); }

Text ContactLink() {
  return "tencent://AddContact/?fromId=45&fromSubId=1&subcmd=all&uin=" + ContactNumber() +
         "&website=" + ForumHost();
}

namespace {

// What the release page says, on the user-interface thread: the title marks the
// version as the newest, or the update is offered.
void TakeReleasePage(Uses<WindowControls, Dialogs, Network> services, const ByteBuffer& page,
                     int status) {
  auto& controls = services.Get<WindowControls>();
  // Only a page that really arrived can tell whether there is a newer version: a
  // failed fetch, an error page or an empty body is no news at all.
  if (status < 200 || status > 299 || page.empty()) return;
  if (ReleasePageNamesThisVersion(page)) {
    const Text banner = controls.GetProperty(Control::编辑框2, Property::Content).AsText();
    controls.SetProperty(Control::_启动窗口, Property::Title, banner + " 最新版");
    return;
  }
  if (services.Get<Dialogs>().ShowMessageBox(Text("将软件版本更新到最新！"), kMbYesNo,
                                             Text("有更新！")) == kAnswerYes)
    services.Get<Network>().OpenUrl(ReleasePageAddress());
}

}  // namespace

int NetworkAndUpdateCheck(Uses<WindowControls, Dialogs, Threads, Network> services) {
  if (!services.Get<Network>().IsOnline()) {
    services.Get<Dialogs>().ShowMessageBox(Text("网络连接好像有点问题，请检查一下！"), kMbOk,
                                           Text("语音可能不可用！"));
    return 0;
  }
  // The page is fetched on a worker, so that the window never waits on the network (a
  // name server that never answers costs the fetch its whole time-out); the answer
  // comes over the shown window.
  int worker = 0;
  services.Get<Threads>().StartThread(
      [services](int) {
        int status = 0;
        const ByteBuffer page = services.Get<Network>().FetchUrl(ReleasePageAddress(), &status);
        services.Get<Threads>().RunOnUiThread([&] { TakeReleasePage(services, page, status); });
      },
      0, &worker);
  return worker;
}

void OpenUpdatePage(Network& network) { network.OpenUrl(ReleasePageAddress()); }

void OpenCustomEditionPages(Network& network) {
  network.OpenUrl(ForumAddress("/thread-12398-1-1.html"));
  network.OpenUrl(ContactLink());
}

void OpenAboutPage(Network& network) { network.OpenUrl(ForumAddress("/thread-9282-1-1.html")); }

void OpenFeedbackPage(Network& network) { network.OpenUrl(ForumAddress("/forum-72-1.html")); }
