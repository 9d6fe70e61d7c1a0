#include "SettingsTestSupport.h"

namespace settings_test {

bool PutRawValue(HKEY hRoot, const std::string& key, const std::string& name, DWORD dwType,
                 const void* pData, DWORD cbData)
{
    HKEY h = nullptr;
    if (RegCreateKeyExA(hRoot, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                        &h, nullptr) != ERROR_SUCCESS)
        return false;
    LONG r = RegSetValueExA(h, name.c_str(), 0, dwType, static_cast<const BYTE*>(pData), cbData);
    RegCloseKey(h);
    return r == ERROR_SUCCESS;
}

long RawValueSize(HKEY hRoot, const std::string& key, const std::string& name)
{
    HKEY h = nullptr;
    if (RegOpenKeyExA(hRoot, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return -1;
    DWORD size = 0;
    LONG r = RegQueryValueExA(h, name.c_str(), nullptr, nullptr, nullptr, &size);
    RegCloseKey(h);
    return r == ERROR_SUCCESS ? long(size) : -1;
}

} // namespace settings_test
