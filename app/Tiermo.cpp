// The program's one application object.
#include "TiermoApp.h"

CTiermoApp theApp;
