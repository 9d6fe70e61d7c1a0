// Points and rectangles, and the placement arithmetic done with them.
#pragma once

#include <windows.h>

struct CPoint : POINT {
    CPoint() : POINT{0, 0} {}
    CPoint(LONG x0, LONG y0) : POINT{x0, y0} {}
    bool operator==(const CPoint& o) const { return x == o.x && y == o.y; }
};

struct CRect : RECT {
    CRect() : RECT{0, 0, 0, 0} {}
    CRect(LONG l, LONG t, LONG r, LONG b) : RECT{l, t, r, b} {}
    CRect(const RECT& r) : RECT(r) {}
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const CRect& o) const
    {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

// Top-left corner that centres a window of size `window` over `over`, then
// moved as little as needed to keep it inside `limit` (the work area).
CPoint AfxCenterPosition(const CRect& window, const CRect& over, const CRect& limit);
