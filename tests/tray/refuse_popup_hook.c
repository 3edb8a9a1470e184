/* A WH_CBT hook procedure in a DLL of its own, so that the system can load it into other
   processes: it refuses the creation of the tray program's pop-up window, as a program that
   polices the desktop's windows may. */
#include <windows.h>

#include <string.h>

__declspec(dllexport) LRESULT CALLBACK RefusePopupCreation(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        char windowClass[64] = "";
        GetClassNameA((HWND)wParam, windowClass, sizeof windowClass);
        if (strcmp(windowClass, "ZephlistPopup") == 0) return 1;
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}
