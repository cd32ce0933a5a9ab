#pragma once
// The window's language. Its texts are written in Chinese, which a Chinese locale shows as
// they stand; every other locale gets their English translation (app/translations/). Messages
// are English in every locale, and are not translated.

#include <QStringList>
#include <QTranslator>

enum class WindowLanguage { kChinese, kEnglish };

// The language for the user's languages in order of preference, as QLocale::uiLanguages()
// gives them (LANGUAGE, else LC_ALL, LC_MESSAGES, LANG): the first that the window has,
// Chinese or English, as gettext picks from LANGUAGE; English when none of them is either.
WindowLanguage ChooseWindowLanguage(const QStringList& uiLanguages);
// The language for the user of this session.
WindowLanguage UserWindowLanguage();

// Installs the window's texts in language into the application for its lifetime, and Qt's own
// (the buttons of message boxes, the file dialog) in Chinese where they are installed.
class WindowTranslation {
 public:
  explicit WindowTranslation(WindowLanguage language);
  ~WindowTranslation();
  WindowTranslation(const WindowTranslation&) = delete;
  WindowTranslation& operator=(const WindowTranslation&) = delete;

  // Whether the translation of the window's texts was found and installed.
  bool installed() const { return installed_; }

 private:
  QTranslator window_;
  QTranslator qt_;
  bool installed_ = false;
};
