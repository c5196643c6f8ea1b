// The licence page: nothing happens until the user accepts the agreement.
#include "pages.h"
#include "res/resource.h"

namespace {

void Initialise(HWND window) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  CenterWindow(window);
  SetDialogCaption(window);
  SetControlString(window, IDC_LICENSE_PROMPT, instance, IDS_LICENSE_PROMPT);
  SetControlString(window, IDC_REFUSE, instance, IDS_REFUSE);
  SetControlString(window, IDC_ACCEPT, instance, IDS_ACCEPT);
  ShowLicenseText(window, IDC_LICENSE_TEXT);
  // Refusal is selected to begin with: accepting takes a deliberate choice.
  SendDlgItemMessageA(window, IDC_REFUSE, BM_SETCHECK, BST_CHECKED, 0);
}

}  // namespace

INT_PTR CALLBACK LicenseDialog(HWND window, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    Initialise(window);
    return 0;
  }
  if (message != WM_COMMAND) return 0;
  switch (LOWORD(wParam)) {
    case IDOK: {
      static const int choices[] = {IDC_REFUSE, IDC_ACCEPT};
      int chosen = FirstCheckedButton(window, choices, 2);
      if (chosen == IDC_REFUSE) EndDialog(window, 0);
      if (chosen == IDC_ACCEPT) EndDialog(window, 1);
      return 0;
    }
    case IDCANCEL:
      EndDialog(window, 0);
      return 1;
    default:
      return 0;
  }
}
