// Long texts kept as "TXT" resources of the executable, and the edit control
// that shows one of them.
#pragma once

#include "platform/Afx.h"

// The resource type of the program's texts.
inline constexpr const char* kTextResourceType = "TXT";

// Copies text resource `name` of type `type` into `text`: the bytes up to the
// first zero byte or the end of the resource, whichever comes first, less one
// final 0x02 end marker. The name is found without regard to case. On FALSE
// `text` is empty.
BOOL LoadTextResource(LPCSTR name, LPCSTR type, CString& text);

class CTextResourceEdit : public CEdit {
public:
    CTextResourceEdit() = default;
    ~CTextResourceEdit() override;

    // Replaces the control's text with the resource's text. When the text
    // cannot be loaded, throws the memory exception and leaves the control
    // untouched.
    void SetTextFromResource(LPCSTR name, LPCSTR type);
};
