#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace quoril {

// The player's texts are 8-bit strings with CR LF line ends (file paths in them are UTF-8).
// Qt widgets take QString with LF line ends. Called on the window thread.

// CR LF (and a lone CR) become LF; bytes that are not UTF-8 are shown as replacement characters.
QString fromCrLfText(std::string_view text);
// A single-line text as it stands.
QString fromText(std::string_view text);
std::string toText(const QString& text);

}  // namespace quoril
