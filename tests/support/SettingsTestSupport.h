// Shared pieces of the settings tests: the test program's application object
// and raw registry values, beside the registry seam and reg.exe of the driver.
#pragma once

#include "Driver.h"
#include "RegistrySeam.h"

#include <string>

namespace settings_test {

using driver::RegKeyExists;
using driver::RegQueryValue;
using driver::RegValue;
using driver::RunReg;
using test_support::CountingRegistry;
using test_support::ForgetRegistryKey;
using test_support::KeyCall;

// The test program's application object (named "Tiermo").
CWinApp& TestApp();

// Writes a value of any type with the real registry functions.
bool PutRawValue(HKEY hRoot, const std::string& key, const std::string& name, DWORD dwType,
                 const void* pData, DWORD cbData);
// Size in bytes of a value's data, or -1 when it cannot be read.
long RawValueSize(HKEY hRoot, const std::string& key, const std::string& name);

} // namespace settings_test
