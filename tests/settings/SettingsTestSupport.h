// Shared pieces of the settings tests: the registry seam that counts handles
// and injects failures, and Wine's reg.exe as an independent reader.
#pragma once

#include "platform/Afx.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace settings_test {

// ---------------------------------------------------------------- reg.exe

struct RegOutput {
    bool bRan = false;
    DWORD dwExitCode = 0;
    std::string text;
};

// Runs Wine's reg.exe with the given arguments on the registry view of this
// program's architecture (bounded wait) and captures stdout.
RegOutput RunReg(const std::string& args);

// A value as reg.exe lists it: type name ("REG_DWORD") and data ("0x10006").
struct RegValue {
    std::string type;
    std::string data;
};

// The value as `reg query "<key>" /v <name>` reports it; false when reg.exe
// does not list it.
bool RegQueryValue(const std::string& key, const std::string& name, RegValue* value);
// True when `reg query "<key>"` finds the key.
bool RegKeyExists(const std::string& key);

// ---------------------------------------------------------------- registry seam

struct KeyCall {
    enum Kind { kOpen, kCreate } kind;
    HKEY hParent;
    std::string name;
    DWORD dwReserved;
    bool bHasClass;
    DWORD dwOptions;
    REGSAM access;
    bool bHasSecurity;
};

using QueryFn = std::function<LONG(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD)>;

// Puts a registry table in place that forwards to the real functions while
// it records every key open and creation, tracks the handles they return,
// and fails chosen calls. One at a time.
class CountingRegistry {
public:
    CountingRegistry();
    ~CountingRegistry();
    CountingRegistry(const CountingRegistry&) = delete;
    CountingRegistry& operator=(const CountingRegistry&) = delete;

    // Makes the nth key open or creation (1-based, counted over both) fail.
    void FailKeyCall(int nCall, LONG lError = ERROR_ACCESS_DENIED);
    void FailQuery(LONG lError = ERROR_ACCESS_DENIED) { m_lQueryError = lError; }
    void FailSet(LONG lError = ERROR_ACCESS_DENIED) { m_lSetError = lError; }
    void FailDelete(LONG lError = ERROR_ACCESS_DENIED) { m_lDeleteError = lError; }
    // Replaces the value query (the other calls still reach the registry).
    void FakeQuery(QueryFn fn) { m_fakeQuery = std::move(fn); }
    // Forgets what was recorded and stops failing.
    void Clear();

    const std::vector<KeyCall>& KeyCalls() const { return m_keyCalls; }
    // Handles returned by opens and creations and not closed yet.
    size_t OpenHandles() const { return m_open.size(); }
    int Closes() const { return m_nCloses; }
    // Closes of handles that this seam never handed out (predefined roots...).
    int StrayCloses() const { return m_nStrayCloses; }
    int Queries() const { return m_nQueries; }
    int Sets() const { return m_nSets; }
    int Deletes() const { return m_nDeletes; }
    int TotalCalls() const
    {
        return int(m_keyCalls.size()) + m_nCloses + m_nStrayCloses + m_nQueries + m_nSets +
               m_nDeletes;
    }

private:
    static const RegistryApi& Api();
    static CountingRegistry* s_pActive;
    static LONG WINAPI OpenKeyEx(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
    static LONG WINAPI CreateKeyEx(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES,
                                   PHKEY, LPDWORD);
    static LONG WINAPI QueryValueEx(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
    static LONG WINAPI SetValueEx(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD);
    static LONG WINAPI DeleteValue(HKEY, LPCSTR);
    static LONG WINAPI DeleteKey(HKEY, LPCSTR);
    static LONG WINAPI CloseKey(HKEY);

    // The error for the next key call, or ERROR_SUCCESS to let it through.
    LONG NextKeyCallError();
    void Opened(LONG lResult, PHKEY phKey);

    std::vector<KeyCall> m_keyCalls;
    std::set<HKEY> m_open;
    int m_nCloses = 0;
    int m_nStrayCloses = 0;
    int m_nQueries = 0;
    int m_nSets = 0;
    int m_nDeletes = 0;
    int m_nFailKeyCall = 0;
    LONG m_lKeyCallError = ERROR_SUCCESS;
    LONG m_lQueryError = ERROR_SUCCESS;
    LONG m_lSetError = ERROR_SUCCESS;
    LONG m_lDeleteError = ERROR_SUCCESS;
    QueryFn m_fakeQuery;
    ScopedRegistryApi m_scope;
};

// ---------------------------------------------------------------- application

// The test program's application object (named "Tiermo").
CWinApp& TestApp();
// Takes the registry key name away again, as before SetRegistryKey.
void ForgetRegistryKey();

// Writes a value of any type with the real registry functions.
bool PutRawValue(HKEY hRoot, const std::string& key, const std::string& name, DWORD dwType,
                 const void* pData, DWORD cbData);
// Size in bytes of a value's data, or -1 when it cannot be read.
long RawValueSize(HKEY hRoot, const std::string& key, const std::string& name);

} // namespace settings_test
