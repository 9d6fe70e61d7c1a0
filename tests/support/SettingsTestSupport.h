// Shared pieces of the settings tests: the test program's application object,
// and the driver's registry values and reg.exe beside the registry seam.
#pragma once

#include "Driver.h"
#include "RegistrySeam.h"

namespace settings_test {

using driver::RegKeyExists;
using driver::RegQueryText;
using driver::ValueSize;
using driver::WriteValue;
using test_support::CountingRegistry;
using test_support::ForgetRegistryKey;
using test_support::KeyCall;

// The test program's application object (named "Tiermo").
CWinApp& TestApp();

} // namespace settings_test
