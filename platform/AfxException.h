// Framework exceptions. They are thrown as pointers (throw AfxNew...), caught
// as CException*, and released with Delete(), which leaves the shared
// out-of-memory object alone.
#pragma once

#include "AfxString.h"

class CException {
public:
    explicit CException(bool bAutoDelete = true) : m_bAutoDelete(bAutoDelete) {}
    virtual ~CException() = default;
    CException(const CException&) = delete;
    CException& operator=(const CException&) = delete;

    // Text shown to the user when the exception reaches the window-procedure guard.
    virtual CString GetErrorMessage() const;
    void Delete();

private:
    bool m_bAutoDelete;
};

class CMemoryException : public CException {
public:
    using CException::CException;
    CString GetErrorMessage() const override;
};

// Throws the process-wide CMemoryException object.
[[noreturn]] void AfxThrowMemoryException();
