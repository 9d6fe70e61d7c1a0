#include "Caption.h"

CString FormatCaption(const char* pszTemplate, const char* pszName)
{
    CString result;
    bool bNameUsed = false;
    for (const char* p = pszTemplate ? pszTemplate : ""; *p; ++p) {
        if (p[0] == '%' && p[1] == '%') {
            result += '%';
            ++p;
        } else if (p[0] == '%' && p[1] == 's' && !bNameUsed) {
            result += pszName;
            bNameUsed = true;
            ++p;
        } else {
            result += *p;
        }
        if (result.GetLength() >= kMaxCaptionLength)
            break;
    }
    result.Truncate(kMaxCaptionLength);
    return result;
}
