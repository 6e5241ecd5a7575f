#pragma once

namespace quoril {

// QApplication sets the C library's locale from the environment when it is constructed. Our
// settings file and logs are written with a decimal point whatever the user's language, so the
// program puts LC_NUMERIC back to "C" right after constructing the QApplication.
// Called on the window thread, before any other thread starts.
void restoreCNumericLocale();

}  // namespace quoril
