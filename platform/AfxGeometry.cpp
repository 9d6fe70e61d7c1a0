#include "AfxGeometry.h"

CPoint AfxCenterPosition(const CRect& window, const CRect& over, const CRect& limit)
{
    int x = over.left + (over.Width() - window.Width()) / 2;
    int y = over.top + (over.Height() - window.Height()) / 2;
    // Keep the window on the work area, its top-left corner first.
    if (x + window.Width() > limit.right)
        x = limit.right - window.Width();
    if (x < limit.left)
        x = limit.left;
    if (y + window.Height() > limit.bottom)
        y = limit.bottom - window.Height();
    if (y < limit.top)
        y = limit.top;
    return CPoint(x, y);
}
