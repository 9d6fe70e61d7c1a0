// The registry seam of the framework layer in tests: a table that forwards
// to the real registry functions while it counts handles and fails chosen
// calls.
#pragma once

#include "platform/Afx.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace test_support {

struct KeyCall {
    enum Kind { kOpen, kCreate } kind;
    HKEY hParent;
    std::string name;
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

// Takes the application's registry key name away again, as before SetRegistryKey.
void ForgetRegistryKey();

} // namespace test_support
