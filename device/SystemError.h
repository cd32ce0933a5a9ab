#pragma once

#include <string>

// The English text of a system error number, whatever the user's locale.
std::string SystemErrorText(int error);
