#include "ui/qt/DialogUnits.h"

#include <QFontMetrics>

namespace quoril {

namespace {

// Rounded a * b / c, as the classic layout arithmetic does it.
int mulDiv(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    return static_cast<int>((product + (product >= 0 ? c / 2 : -c / 2)) / c);
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = std::max(1, (letters / 26 + 1) / 2);
    m_baseY = std::max(1, metrics.height());
}

int DialogUnits::x(int units) const {
    return mulDiv(units, m_baseX, 4);
}

int DialogUnits::y(int units) const {
    return mulDiv(units, m_baseY, 8);
}

QRect DialogUnits::rect(int left, int top, int width, int height) const {
    // The edges are converted, not the sizes, so that controls that touch in dialog units touch
    // in pixels too.
    return QRect(QPoint(x(left), y(top)), QPoint(x(left + width) - 1, y(top + height) - 1));
}

}  // namespace quoril
