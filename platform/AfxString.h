// CString: a counted, heap-owned 8-bit (ANSI) string with printf-style
// formatting and a buffer interface for filling it from Win32 calls.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <string>
#include <type_traits>

class CString {
public:
    CString() = default;
    CString(const char* psz) : m_str(psz ? psz : "") {}
    CString(const char* p, int nLength)
        : m_str(p ? p : "", (p && nLength > 0) ? size_t(nLength) : 0)
    {
    }
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;
    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;
    CString& operator=(const char* psz);

    int GetLength() const { return int(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    operator const char*() const { return m_str.c_str(); }
    const char* c_str() const { return m_str.c_str(); }
    // Cuts the string to nNewLength characters (no effect when it is shorter).
    void Truncate(int nNewLength);

    CString& operator+=(const CString& s)
    {
        m_str += s.m_str;
        return *this;
    }
    CString& operator+=(const char* psz)
    {
        if (psz)
            m_str += psz;
        return *this;
    }
    CString& operator+=(char ch)
    {
        m_str += ch;
        return *this;
    }

    // Compare the characters; without these, == would compare the pointers
    // that the conversion to const char* gives.
    friend bool operator==(const CString& a, const CString& b) { return a.m_str == b.m_str; }
    friend bool operator==(const CString& a, const char* b) { return a.m_str == (b ? b : ""); }

    // Buffer interface: GetBufferSetLength gives room for nNewLength characters
    // plus a terminator; ReleaseBuffer sets the length to nNewLength, or to the
    // position of the first zero byte when nNewLength is -1 (bounded by the
    // buffer, so an unterminated buffer never reads past its end).
    char* GetBufferSetLength(int nNewLength);
    void ReleaseBuffer(int nNewLength = -1);

    // printf-style formatting. Arguments are checked at compile time: numbers,
    // pointers and CString (passed as its characters for %s).
    template <class... Args> void Format(const char* pszFormat, const Args&... args)
    {
        static_assert((IsFormatArg<Args>() && ...),
                      "CString::Format takes numbers, pointers and CString only");
        FormatRaw(pszFormat, Pass(args)...);
    }

private:
    template <class T> static constexpr bool IsFormatArg()
    {
        using U = std::decay_t<T>;
        return std::is_arithmetic_v<U> || std::is_enum_v<U> || std::is_pointer_v<U> ||
               std::is_same_v<U, CString> || std::is_same_v<U, std::nullptr_t>;
    }
    template <class T> static decltype(auto) Pass(const T& v)
    {
        if constexpr (std::is_same_v<T, CString>)
            return v.c_str();
        else if constexpr (std::is_same_v<T, float>)
            return double(v);
        else
            return v;
    }
    void FormatRaw(const char* pszFormat, ...);
    void FormatV(const char* pszFormat, va_list args);

    std::string m_str;
};
