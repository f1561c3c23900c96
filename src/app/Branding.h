#pragma once

#include "framework/Types.h"

// The program's name and the vendor's own details, in one place.
Text ProgramName();   // "Orvane教程视频录制记事本DIY版V6.3 ", with its trailing blank
Text VendorHost();    // the vendor's web host, shown in the title and used for its pages
Text InitialTitle();  // ProgramName, CR LF, VendorHost
Text BannerText();    // ProgramName, CR LF, the contact number and the social-media handle
