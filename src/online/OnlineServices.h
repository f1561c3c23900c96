#pragma once

#include "framework/Dialogs.h"
#include "framework/Network.h"
#include "framework/Threads.h"
#include "framework/Uses.h"
#include "framework/WindowControls.h"

// At start-up, while the window is still hidden: warns when offline (the box comes
// before the window). Online, it starts a worker that looks at the release page for
// the program's version and returns its handle at once: a page that names the version
// makes the title "… 最新版", a page that does not offers the update over the window, a
// check that failed shows nothing.
int NetworkAndUpdateCheck(Uses<WindowControls, Dialogs, Threads, Network> services);

// The menu's web links.
void OpenUpdatePage(Network& network);          // "本软件更新"
void OpenCustomEditionPages(Network& network);  // "定制软件专版": page, then contact
void OpenAboutPage(Network& network);           // "关于Orvane"
void OpenFeedbackPage(Network& network);        // "对本软件有建议或意见"

Text ReleasePageAddress();
Text ContactLink();
