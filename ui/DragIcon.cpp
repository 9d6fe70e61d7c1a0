#include "DragIcon.h"

#include "DropRules.h"
#include "resource.h"

namespace {

HICON LoadOwnIcon(UINT nID) { return ::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(nID)); }

HCURSOR LoadOwnCursor(UINT nID)
{
    return ::LoadCursorA(AfxGetResourceHandle(), MAKEINTRESOURCEA(nID));
}

} // namespace

const MsgMapEntry CDragIcon::messageEntries[] = {
    msgmap::OnLButtonDown<&CDragIcon::OnLButtonDown>(),
    msgmap::OnLButtonUp<&CDragIcon::OnLButtonUp>(),
    msgmap::OnMouseMove<&CDragIcon::OnMouseMove>(),
    msgmap::OnSetCursor<&CDragIcon::OnSetCursor>(),
    msgmap::OnRButtonDown<&CDragIcon::OnRButtonDown>(),
    msgmap::OnCaptureChanged<&CDragIcon::OnCaptureChanged>(),
};
const MessageMap CDragIcon::messageMap = {&CStatic::messageMap, CDragIcon::messageEntries};

void CDragIcon::ShowIcon(UINT nIconID)
{
    SendMessage(STM_SETICON, WPARAM(LoadOwnIcon(nIconID)), 0);
}

void CDragIcon::OnLButtonDown(UINT, CPoint)
{
    ::SetCapture(m_hWnd);
    ::SetCursor(LoadOwnCursor(IDC_POSITION_DRAG));
    ShowIcon(IDI_POSITION_EMPTY);
}

void CDragIcon::OnMouseMove(UINT nFlags, CPoint)
{
    if (!HoldsCapture())
        return;
    // The button is up, yet no release reached the icon: it was made before
    // the press was handled, while nothing held the capture, and the system
    // gave it to the window under the pointer. End the drag as a cancel, or
    // the next click anywhere would drop there.
    if (!(nFlags & MK_LBUTTON)) {
        CancelDrag();
        return;
    }
    ::SetCursor(LoadOwnCursor(IDC_POSITION_DRAG));
}

BOOL CDragIcon::OnSetCursor(CWnd*, UINT, UINT)
{
    if (HoldsCapture())
        return BOOL(Default());
    ::SetCursor(LoadOwnCursor(IDC_POSITION_HOVER));
    return TRUE;
}

void CDragIcon::OnRButtonDown(UINT, CPoint)
{
    if (HoldsCapture())
        CancelDrag();
}

void CDragIcon::CancelDrag()
{
    ::ReleaseCapture();
    ShowIcon(IDI_POSITION);
}

// The capture can also end without a release or cancel of ours (another
// window takes it, the system cancels it): the drag is over, so the icon
// returns to rest, and nothing is dropped.
void CDragIcon::OnCaptureChanged(CWnd* pWnd)
{
    if (!pWnd || pWnd->m_hWnd != m_hWnd)
        ShowIcon(IDI_POSITION);
}

void CDragIcon::OnLButtonUp(UINT, CPoint point)
{
    if (!HoldsCapture())
        return;
    ::ReleaseCapture();
    ShowIcon(IDI_POSITION);

    POINT pt = point;
    ClientToScreen(&pt);
    HWND hHit = AfxWindowFromPoint(pt);
    if (!hHit || !::IsWindow(hHit))
        return;
    if (droprules::IsOwnDialogControl(::GetParent(hHit), ::GetParent(m_hWnd)))
        return;

    CWnd* pTarget = GetDropTarget(CWnd::FromHandle(hHit));
    if (!pTarget)
        return;

    DWORD_PTR answer = 0;
    m_bTargetAnswers =
        ::SendMessageTimeoutA(pTarget->m_hWnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                              droprules::kAnswerTimeoutMs, &answer) != 0;
    if (m_bTargetAnswers)
        Flash(pTarget);
    ApplyDrop(pTarget);
    m_bTargetAnswers = true;
}

void CDragIcon::Flash(CWnd* pTarget)
{
    droprules::BusyWaitTicks(droprules::kFlashWaitMs, &::GetTickCount);
    ::FlashWindow(pTarget->m_hWnd, TRUE);
    droprules::BusyWaitTicks(droprules::kFlashWaitMs, &::GetTickCount);
    ::FlashWindow(pTarget->m_hWnd, FALSE);
}

CWnd* CDragIcon::GetDropTarget(CWnd* pWnd)
{
    if (!pWnd)
        return nullptr;
    return CWnd::FromHandle(droprules::ClimbToTopLevel(pWnd->m_hWnd, &::GetParent));
}

void CZOrderIcon::ApplyDrop(CWnd* pTarget)
{
    ::SetWindowPos(pTarget->m_hWnd, m_pWndInsertAfter->m_hWnd, 0, 0, 0, 0,
                   droprules::ZOrderFlags(m_bTargetAnswers));
}
