// The help text and the disclaimer as the user must see them, written out
// here independently of res/text so that a changed byte is caught.
#pragma once

#include <string>

namespace expected {

inline std::string HelpText()
{
    static const char* const lines[] = {
        "INTRODUCTION",
        "",
        "This application lets you control the Z-order (layering) of application main windows.",
        "",
        "",
        "COMMANDS",
        "",
        "Simply drag the icon corresponding to the desired action, and drop it onto the "
        "targeted window.",
        "",
        "- Top:  Keep the window on top of all the others.",
        "- Bottom: Move the window behind all the others.",
        "- Normal: Void the actions above.",
        "",
        "",
        "TIPS",
        "",
        "- You can cancel while dragging by pressing the right mouse button.",
        "- Top and Bottom work slightly differently.  Top will always keep the targeted window "
        "on top until you make it normal again.  Bottom moves the targeted window to the "
        "bottom, but does not force it to stay there.",
        "",
        "",
        "EXAMPLES",
        "",
        "You use a word processing program with its window maximized (full screen), and would "
        "like to keep a clock application on top of your document all the time:",
        "    1- From Tiermo, drag the \"Top\" icon and drop it onto the clock window.",
        "    2- Now the clock is always on top of your word processor, even when the word "
        "processor is the active window.",
    };
    std::string text;
    for (const char* line : lines)
        text += std::string(line) + "\r\n";
    return text;
}

inline constexpr size_t kHelpTextSize = 1010;
inline constexpr size_t kHelpTextLines = 25;

inline std::string Disclaimer()
{
    return "DISCLAIMER:\r\n"
           "This product is provided \"as is\" without warranty of any kind, either express or "
           "implied, that it is fit for any use whatsoever.  And its authors cannot be held "
           "responsible for any damage resulting from its use, or inability to do so.";
}

inline constexpr size_t kDisclaimerSize = 247;

} // namespace expected
