#include "app/WindowLanguage.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

WindowLanguage ChooseWindowLanguage(const QStringList& uiLanguages) {
  for (const QString& name : uiLanguages) {
    const QLocale::Language language = QLocale(name).language();
    // "C" and "POSIX" name no language; QLocale takes them as English.
    if (language == QLocale::Chinese) return WindowLanguage::kChinese;
    if (language == QLocale::English || language == QLocale::C) return WindowLanguage::kEnglish;
  }
  return WindowLanguage::kEnglish;
}

WindowLanguage UserWindowLanguage() { return ChooseWindowLanguage(QLocale::system().uiLanguages()); }

WindowTranslation::WindowTranslation(WindowLanguage language) {
  if (language == WindowLanguage::kEnglish) {
    installed_ = window_.load(QStringLiteral(":/i18n/brindle_en.qm")) && QCoreApplication::installTranslator(&window_);
    return;
  }
  // The window's own texts are Chinese already; Qt's come from Debian's qt6-translations-l10n.
  if (qt_.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(&qt_);
  }
  installed_ = true;
}

WindowTranslation::~WindowTranslation() {
  QCoreApplication::removeTranslator(&window_);
  QCoreApplication::removeTranslator(&qt_);
}
