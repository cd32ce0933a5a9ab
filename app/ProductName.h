#pragma once
// The product name as the window and the about box show it, with the translator's note.

inline constexpr const char* kLocalizedProductName = "Brindle（简体中文版）";
