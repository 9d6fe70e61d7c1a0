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

CString CString::Left(int nCount) const
{
    if (nCount <= 0)
        return CString();
    CString r;
    r.m_str = m_str.substr(0, size_t(nCount));
    return r;
}

CString CString::Mid(int nFirst) const
{
    if (nFirst < 0)
        nFirst = 0;
    if (size_t(nFirst) >= m_str.size())
        return CString();
    CString r;
    r.m_str = m_str.substr(size_t(nFirst));
    return r;
}

int CString::Find(char ch, int nStart) const
{
    if (nStart < 0 || size_t(nStart) >= m_str.size())
        return -1;
    size_t pos = m_str.find(ch, size_t(nStart));
    return pos == std::string::npos ? -1 : int(pos);
}

int CString::Compare(const char* psz) const { return std::strcmp(m_str.c_str(), psz ? psz : ""); }

int CString::CompareNoCase(const char* psz) const
{
    return lstrcmpiA(m_str.c_str(), psz ? psz : "");
}

char* CString::GetBuffer(int nMinLength)
{
    if (nMinLength > 0 && size_t(nMinLength) > m_str.size())
        m_str.resize(size_t(nMinLength));
    return m_str.data();
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
