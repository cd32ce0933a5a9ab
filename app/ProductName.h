#pragma once
// The product name as the window and the about box show it, with the translator's note: a
// window text like the others, shown through QCoreApplication::translate("ProductName", ...).

#include <QtGlobal>

inline constexpr const char* kLocalizedProductName = QT_TRANSLATE_NOOP("ProductName", "Brindle（简体中文版）");
