// CSettings: the version record. Remembers under HKEY_LOCAL_MACHINE which
// version of the program last ran, so that a new version can greet the user.
#pragma once

#include "ProfileStore.h"
#include "product.h"

inline constexpr DWORD kProgramVersion = TIERMO_VERSION;
inline constexpr const char* kRegistryCompany = TIERMO_REGISTRY_COMPANY;
inline constexpr const char* kVersionSection = TIERMO_VERSION_SECTION;
inline constexpr const char* kVersionEntry = TIERMO_VERSION_ENTRY;

class CSettings : public CProfileStore {
public:
    CSettings();
    ~CSettings() override;

    // Reads the stored version and stores the running one when they differ.
    void InitRecord() override;
    // The running version as "major.minor".
    CString GetVersionText() const;

    // Version of the previous run (0 when none); kept after InitRecord writes.
    DWORD m_dwStoredVersion = 0;
    // Version of the running program, set by start-up.
    DWORD m_dwCurrentVersion = 0;
};
