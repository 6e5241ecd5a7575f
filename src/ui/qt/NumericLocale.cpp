#include "ui/qt/NumericLocale.h"

#include <clocale>

namespace quoril {

void restoreCNumericLocale() {
    std::setlocale(LC_NUMERIC, "C");
}

}  // namespace quoril
