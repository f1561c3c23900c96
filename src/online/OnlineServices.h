#pragma once

#include "framework/RuntimeServices.h"

// At start-up, while the window is still hidden: warns when offline, and looks at
// the release page for the program's version. A page that names it makes the title
// "… 最新版"; a page that does not offers the update. A check that failed shows
// nothing. Returns once any message box is closed.
void NetworkAndUpdateCheck(RuntimeServices& services);

// The menu's web links.
void OpenUpdatePage(RuntimeServices& services);          // "本软件更新"
void OpenCustomEditionPages(RuntimeServices& services);  // "定制软件专版": page, then contact
void OpenAboutPage(RuntimeServices& services);           // "关于Orvane"
void OpenFeedbackPage(RuntimeServices& services);        // "对本软件有建议或意见"

Text ReleasePageAddress();
Text ContactLink();
