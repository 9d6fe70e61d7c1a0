#include "AfxException.h"

CString CException::GetErrorMessage() const
{
    return CString("An unsupported operation was attempted.");
}

void CException::Delete()
{
    if (m_bAutoDelete)
        delete this;
}

CString CMemoryException::GetErrorMessage() const { return CString("Out of memory."); }

void AfxThrowMemoryException()
{
    // One static object: raising it must not need memory.
    static CMemoryException s_memoryException(false);
    throw static_cast<CException*>(&s_memoryException);
}
