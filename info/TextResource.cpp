#include "TextResource.h"

#include <cstring>
#include <new>

namespace {

// Optional last byte of a text that is not shown.
constexpr char kEndMarker = '\x02';

} // namespace

BOOL LoadTextResource(LPCSTR name, LPCSTR type, CString& text)
{
    text.Empty();
    try {
        HINSTANCE hInst = AfxGetResourceHandle();
        HRSRC hRes = ::FindResourceA(hInst, name, type);
        if (!hRes)
            return FALSE;
        HGLOBAL hData = ::LoadResource(hInst, hRes);
        if (!hData)
            return FALSE;
        const char* p = static_cast<const char*>(::LockResource(hData));
        if (!p)
            return FALSE;

        // Never read past the resource, even when no zero byte follows it.
        const size_t size = ::SizeofResource(hInst, hRes);
        const void* zero = std::memchr(p, 0, size);
        const size_t length = zero ? size_t(static_cast<const char*>(zero) - p) : size;
        text = CString(p, int(length));

        if (!text.IsEmpty() && text[text.GetLength() - 1] == kEndMarker)
            text.Truncate(text.GetLength() - 1);
        return TRUE;
    } catch (CException* e) {
        e->Delete();
    } catch (const std::bad_alloc&) {
    }
    text.Empty();
    return FALSE;
}

CTextResourceEdit::~CTextResourceEdit() = default;

void CTextResourceEdit::SetTextFromResource(LPCSTR name, LPCSTR type)
{
    CString text;
    if (!LoadTextResource(name, type, text))
        AfxThrowMemoryException();
    SetWindowText(text);
}
