#pragma once
// Opening a web address with the desktop's default handler. The window installs the desktop's
// service; tests install one that records the addresses. Without either nothing is opened.

#include <string>

#include "platform/Service.h"

class UrlOpenerService {
 public:
  virtual ~UrlOpenerService() = default;
  // Hands url to the desktop; false when nothing took it.
  virtual bool OpenUrl(const std::string& url) = 0;
};

ServiceSlot<UrlOpenerService>& UrlOpenerSlot();

// Opens url through the installed service.
bool OpenUrl(const std::string& url);
