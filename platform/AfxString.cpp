#include "AfxString.h"

#include <cstdio>
#include <cstring>

CString& CString::operator=(const char* psz)
{
    m_str = psz ? psz : "";
    return *this;
}

void CString::Truncate(int nNewLength)
{
    if (nNewLength >= 0 && size_t(nNewLength) < m_str.size())
        m_str.resize(size_t(nNewLength));
}

char* CString::GetBufferSetLength(int nNewLength)
{
    m_str.resize(nNewLength > 0 ? size_t(nNewLength) : 0);
    return m_str.data();
}

void CString::ReleaseBuffer(int nNewLength)
{
    if (nNewLength < 0)
        nNewLength = int(strnlen(m_str.data(), m_str.size()));
    if (size_t(nNewLength) < m_str.size())
        m_str.resize(size_t(nNewLength));
}

void CString::FormatRaw(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    FormatV(pszFormat, args);
    va_end(args);
}

void CString::FormatV(const char* pszFormat, va_list args)
{
    if (!pszFormat) {
        m_str.clear();
        return;
    }
    va_list probe;
    va_copy(probe, args);
    int n = std::vsnprintf(nullptr, 0, pszFormat, probe);
    va_end(probe);
    if (n <= 0) {
        m_str.clear();
        return;
    }
    std::string out(size_t(n), '\0');
    std::vsnprintf(out.data(), size_t(n) + 1, pszFormat, args);
    m_str.swap(out);
}
