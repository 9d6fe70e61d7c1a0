// The framework layer in one include.
#pragma once

#include "AfxApp.h"
#include "AfxDialog.h"
#include "AfxException.h"
#include "AfxGdi.h"
#include "AfxGeometry.h"
#include "AfxMsgMap.h"
#include "AfxNewerApi.h"
#include "AfxRegistry.h"
#include "AfxString.h"
#include "AfxWindowFromPoint.h"
#include "AfxWnd.h"
