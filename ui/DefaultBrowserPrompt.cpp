#include "ui/Dialogs.h"

#include "programwide/SettingsStore.h"
#include "ui/resource.h"

// Yes, No and Escape all store the state of the "always check" box, which
// the product's installer reads.
INT_PTR CALLBACK DefaultBrowserPromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        CheckDlgButton(dialog, IDC_ALWAYS_CHECK, BST_CHECKED);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            WriteSetting("CheckAsDef", IsDlgButtonChecked(dialog, IDC_ALWAYS_CHECK) == BST_CHECKED ? 1 : 0);
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}
