// Memory growth of opening the Help window, taken apart: the same template
// opened through our dialog classes with and without the help text, and the
// help text set with plain Win32 and no framework code. Prints the growth of
// the process's memory over each set of openings, after one warm-up opening.
//
//   edit_growth.exe [OPENINGS]
#include "info/HelpDlg.h"
#include "info/TextResource.h"
#include "platform/Afx.h"
#include "product.h"
#include "resource.h"

#include <psapi.h>

#include <cstdio>
#include <cstdlib>

namespace {

class CProbeApp : public CWinApp {
public:
    CProbeApp() : CWinApp(TIERMO_APP_NAME) {}
};
CProbeApp theProbeApp;

SIZE_T MemoryUsed()
{
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof pmc;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &pmc, sizeof pmc);
    return pmc.PagefileUsage;
}

// The Help template through CDialog; kind 0 leaves the text box empty, kind 1
// sets the help text with SetDlgItemTextA.
class CProbeDlg : public CDialog {
public:
    explicit CProbeDlg(int nKind) : CDialog(IDD_HELP), m_nKind(nKind) {}

protected:
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        if (m_nKind == 1) {
            CString text;
            LoadTextResource("HELP", "TXT", text);
            ::SetDlgItemTextA(m_hWnd, IDC_HELP_TEXT, text);
        }
        PostMessage(WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    }

private:
    int m_nKind;
};

// The real Help window, closed as soon as it is up.
class CProbeHelpDlg : public CHelpDlg {
public:
    CProbeHelpDlg() : CHelpDlg(nullptr, "HELP", nullptr) {}

protected:
    BOOL OnInitDialog() override
    {
        CHelpDlg::OnInitDialog();
        PostMessage(WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    }
};

void OpenOnce(int nKind)
{
    if (nKind < 2) {
        CProbeDlg dlg(nKind);
        dlg.DoModal();
    } else {
        CProbeHelpDlg dlg;
        dlg.DoModal();
    }
}

} // namespace

int main(int argc, char** argv)
{
    AfxWinInit(::GetModuleHandleA(nullptr));
    const int openings = argc > 1 ? std::atoi(argv[1]) : 100;
    if (openings <= 0 || openings > 100000) {
        std::fprintf(stderr, "usage: edit_growth.exe [OPENINGS]\n");
        return 2;
    }
    const char* names[] = {"help template, our classes, empty text box",
                           "help template, help text set with SetDlgItemTextA",
                           "the Help window (CHelpDlg)"};
    for (int kind = 0; kind < 3; ++kind) {
        OpenOnce(kind);
        const SIZE_T before = MemoryUsed();
        for (int i = 0; i < openings; ++i)
            OpenOnce(kind);
        const long grown = long((MemoryUsed() - before) / 1024);
        std::printf("%-52s %d openings: %+ld KB\n", names[kind], openings, grown);
    }
    return 0;
}
