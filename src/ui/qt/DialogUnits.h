#pragma once

#include <QFont>
#include <QRect>

namespace quoril {

// Converts the dialog units in which our window layouts are written into pixels for a font, the
// way dialog templates have always been scaled: a horizontal unit is a quarter of the font's
// average character width, a vertical unit an eighth of its height. The windows then keep their
// proportions whatever the font and the screen resolution.
// Called on the window thread.
class DialogUnits {
  public:
    explicit DialogUnits(const QFont& font);

    int x(int units) const;
    int y(int units) const;
    // A control's rectangle from its left, top, width and height in dialog units.
    QRect rect(int left, int top, int width, int height) const;

    int baseX() const { return m_baseX; }
    int baseY() const { return m_baseY; }

  private:
    int m_baseX;  // average width of the letters A-Z a-z, in pixels
    int m_baseY;  // font height in pixels
};

}  // namespace quoril
