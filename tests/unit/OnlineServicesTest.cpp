#include "online/OnlineServices.h"

#include <gtest/gtest.h>

#include "app/StartupAndExit.h"
#include "online/VendorSite.h"
#include "support/FakeRuntimeServices.h"
#include "support/ProgramFolder.h"

namespace {

ByteBuffer Page(const std::string& text) { return ByteBuffer(text.begin(), text.end()); }

class OnlineServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    services.Preset(Control::编辑框2, Property::Content, banner);
    services.Preset(Control::_启动窗口, Property::Title, Text("设计标题"));
  }
  void Serve(const std::string& body, int status = 200) {
    services.ScriptPage(ReleasePageAddress(), {Page(body), status});
  }
  // Runs the check and waits for its worker: the page's answer is there afterwards.
  void Check() {
    const int worker = NetworkAndUpdateCheck(services);
    if (worker != 0) {
      ASSERT_TRUE(services.WaitForThread(worker, 10000));
    }
  }
  Text Title() { return services.Peek(Control::_启动窗口, Property::Title).AsText(); }
  std::vector<Text> Opened() {
    std::vector<Text> addresses;
    for (const auto& call : services.CallsOf<OpenUrlCall>()) addresses.push_back(call.address);
    return addresses;
  }
  void ExpectOnlyMessageBox(const Text& message, const Text& caption, int style) {
    const auto boxes = services.CallsOf<MessageBoxCall>();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].message.AsText(), message);
    EXPECT_EQ(boxes[0].caption, caption);
    EXPECT_EQ(boxes[0].style, style);
  }

  const Text banner = "横幅第一行\r\n横幅第二行";
  FakeRuntimeServices services;
};

TEST_F(OnlineServicesTest, PageNamingTheVersionMakesTheTitleNewestAndShowsNothing) {
  for (const char* page : {"<h1>Orvane V6.3 发布</h1>", "release v6.3 here"}) {
    Serve(page);
    Check();
    EXPECT_EQ(Title(), banner + " 最新版") << page;
    EXPECT_TRUE(services.CallsOf<MessageBoxCall>().empty());
  }
  EXPECT_EQ(services.CallsOf<FetchUrlCall>()[0].address,
            "http://" + ForumHost() + "/thread-11379-1-1.html");
}

TEST_F(OnlineServicesTest, PageWithoutTheVersionOffersTheUpdate) {
  Serve("<h1>Orvane V6.4 发布</h1>");
  services.ScriptMessageBoxAnswer(kAnswerYes);
  Check();
  ExpectOnlyMessageBox("将软件版本更新到最新！", "有更新！", 4);
  EXPECT_EQ(Opened(), std::vector<Text>{ReleasePageAddress()});
  EXPECT_EQ(Title(), "设计标题");

  services.ClearCalls();
  services.ScriptMessageBoxAnswer(kAnswerNo);
  Check();
  EXPECT_EQ(services.CallsOf<MessageBoxCall>().size(), 1u);
  EXPECT_TRUE(Opened().empty());
}

TEST_F(OnlineServicesTest, OnlyTheTextBeforeAZeroByteIsSearched) {
  Serve(std::string("news\0V6.3", 9));
  services.ScriptMessageBoxAnswer(kAnswerNo);
  Check();
  EXPECT_EQ(services.CallsOf<MessageBoxCall>().size(), 1u);
  EXPECT_EQ(Title(), "设计标题");
}

TEST_F(OnlineServicesTest, OfflineShowsOnlyTheWarningAndFetchesNothing) {
  services.online = false;
  Check();
  ExpectOnlyMessageBox("网络连接好像有点问题，请检查一下！", "语音可能不可用！", 0);
  EXPECT_TRUE(services.CallsOf<FetchUrlCall>().empty());
  EXPECT_EQ(Title(), "设计标题");
}

// No answer, an error page, an empty page: the check failed, which is no news of a
// newer version; nothing is shown and the title stays.
TEST_F(OnlineServicesTest, FailedCheckShowsNothing) {
  struct Case {
    std::string body;
    int status;
  };
  for (const Case& c : {Case{"", 0}, Case{"partial", 0}, Case{"<h1>Not Found</h1>", 404},
                        Case{"<h1>error</h1>", 500}, Case{"", 200}}) {
    services.ClearCalls();
    Serve(c.body, c.status);
    Check();
    EXPECT_TRUE(services.CallsOf<MessageBoxCall>().empty()) << c.status << c.body;
    EXPECT_EQ(Title(), "设计标题");
  }
}

TEST_F(OnlineServicesTest, StartUpGoesOnWhateverThePromptIsAnswered) {
  for (int answer : {kAnswerYes, kAnswerNo}) {
    FakeRuntimeServices local;
    ProgramFolder folder(local);
    Program program(local);
    local.ScriptPage(ReleasePageAddress(), {Page("old page"), 200});
    local.ScriptMessageBoxAnswer(answer);
    MainWindowCreated(program);
    EXPECT_EQ(local.Files().count(local.programDirectory + "/CameraDll.dll"), 1u)
        << "the steps after the check ran";
  }
}

TEST_F(OnlineServicesTest, MenuLinksOpenTheirAddressesInOrder) {
  const Text site = "http://" + ForumHost();
  OpenUpdatePage(services);
  OpenCustomEditionPages(services);
  OpenAboutPage(services);
  OpenFeedbackPage(services);
  EXPECT_EQ(Opened(), (std::vector<Text>{
                          site + "/thread-11379-1-1.html",
                          site + "/thread-12398-1-1.html",
                          "tencent://AddContact/?fromId=45&fromSubId=1&subcmd=all&uin=" +
                              ContactNumber() + "&website=" + ForumHost(),
                          site + "/thread-9282-1-1.html",
                          site + "/forum-72-1.html",
                      }));
  EXPECT_TRUE(services.CallsOf<FetchUrlCall>().empty()) << "links do not look at the network";
}

}  // namespace
