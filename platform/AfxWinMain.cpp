// The program's entry point: start the application object and run it.
#include "AfxApp.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    CWinApp* pApp = AfxGetApp();
    if (!pApp || !AfxWinInit(hInstance))
        return -1;
    pApp->InitInstance();
    return 0;
}
