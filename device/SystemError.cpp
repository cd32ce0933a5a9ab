#include "device/SystemError.h"

#include <clocale>
#include <cstring>
#include <locale.h>

std::string SystemErrorText(int error) {
  static const locale_t english = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  if (english != static_cast<locale_t>(0)) return strerror_l(error, english);
  return std::strerror(error);
}
