// Drag sources: an icon that the user drags onto another window, and the
// concrete kind that changes that window's place in the Z-order.
#pragma once

#include "platform/Afx.h"

// Abstract drag source. A drag is the mouse capture itself: the icon is
// dragging exactly while it holds the capture.
class CDragIcon : public CStatic {
protected:
    void OnLButtonDown(UINT nFlags, CPoint point);
    void OnLButtonUp(UINT nFlags, CPoint point);
    void OnMouseMove(UINT nFlags, CPoint point);
    BOOL OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message);
    void OnRButtonDown(UINT nFlags, CPoint point);
    void OnCaptureChanged(CWnd* pWnd);

    // The window that receives a drop on pWnd: its top-level window, through
    // parents and owners. Null refuses the drop.
    virtual CWnd* GetDropTarget(CWnd* pWnd);
    // Performs the icon's action on the target.
    virtual void ApplyDrop(CWnd* pTarget) = 0;

    bool HoldsCapture() const { return ::GetCapture() == m_hWnd && m_hWnd; }
    void ShowIcon(UINT nIconID);

    // Whether the current drop target answered in time; decided before the
    // flash, so that a hung application cannot block this program.
    bool m_bTargetAnswers = true;

private:
    // Ends the drag without an action: the capture released, the icon at rest.
    void CancelDrag();
    void Flash(CWnd* pTarget);

    DECLARE_MESSAGE_MAP()
};

class CZOrderIcon : public CDragIcon {
public:
    // One of CWnd::wndTopMost, wndBottom, wndNoTopMost; not owned.
    const CWnd* m_pWndInsertAfter = nullptr;

protected:
    void ApplyDrop(CWnd* pTarget) override;
};
