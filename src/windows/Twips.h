// Window geometry is laid out in twips (1/1440 inch); 15 twips make one
// device-independent pixel.
#pragma once

#include <QRect>
#include <QWidget>

namespace tw {

inline int Px(int twips) { return (twips + 7) / 15; }

inline QRect TwipsRect(int left, int top, int width, int height) {
    return QRect(Px(left), Px(top), Px(width), Px(height));
}

inline void PlaceTwips(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(TwipsRect(left, top, width, height));
}

}  // namespace tw
