#include "AfxGdi.h"

#include "AfxWnd.h"

BOOL CFont::CreateFontIndirect(const LOGFONTA* pLogFont)
{
    DeleteObject();
    m_hFont = ::CreateFontIndirectA(pLogFont);
    return m_hFont != nullptr;
}

BOOL CFont::DeleteObject()
{
    if (!m_hFont)
        return FALSE;
    BOOL ok = ::DeleteObject(m_hFont);
    m_hFont = nullptr;
    return ok;
}

CPaintDC::CPaintDC(CWnd* pWnd) : m_ps{}, m_hWnd(pWnd->m_hWnd)
{
    m_hDC = ::BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }
