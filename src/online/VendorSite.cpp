#include "online/VendorSite.h"

Text ForumHost() { return "www.orvane.example"; }

Text ContactNumber() { return "800163063"; }

Text ForumAddress(const char* path) { return "http://" + ForumHost() + path; }
