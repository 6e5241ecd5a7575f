#include "ui/qt/QtText.h"

namespace quoril {

QString fromCrLfText(std::string_view text) {
    std::string lines;
    lines.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            lines += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            lines += c;
        }
    }
    return QString::fromUtf8(lines.data(), static_cast<qsizetype>(lines.size()));
}

QString fromText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toText(const QString& text) {
    return text.toUtf8().toStdString();
}

}  // namespace quoril
