#pragma once

#include <string>

// The English text of a system error number, whatever the user's locale.
std::string SystemErrorText(int error);

// Shows prefix followed by the text of the last system error (errno, taken on entry) in a
// message box with the given caption and flags; returns the button pressed.
int ShowSystemError(const std::string& prefix, const std::string& caption, unsigned flags);
