// Captions of the information windows, built from their templates' "%s" forms.
#pragma once

#include "platform/Afx.h"

// Longest caption the information windows build (a 256-character buffer).
inline constexpr int kMaxCaptionLength = 255;

// The caption template with its first "%s" replaced by pszName and each "%%"
// turned into "%"; any other '%' is kept as it is, so neither the template nor
// the name can pull in arguments. The result is cut to kMaxCaptionLength.
CString FormatCaption(const char* pszTemplate, const char* pszName);
