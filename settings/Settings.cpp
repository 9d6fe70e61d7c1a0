#include "Settings.h"

CSettings::CSettings() : CProfileStore(HKEY_LOCAL_MACHINE) {}

CSettings::~CSettings() = default;

void CSettings::InitRecord()
{
    m_dwStoredVersion = DWORD(GetInt(kVersionSection, kVersionEntry, int(m_dwStoredVersion)));
    if (m_dwStoredVersion != m_dwCurrentVersion)
        WriteInt(kVersionSection, kVersionEntry, int(m_dwCurrentVersion));
}

CString CSettings::GetVersionText() const
{
    CString text;
    text.Format("%u.%u", unsigned(HIWORD(m_dwCurrentVersion)),
                unsigned(LOWORD(m_dwCurrentVersion)));
    return text;
}
