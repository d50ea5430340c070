#pragma once
#include "Wnd.h"

// A push button of a template. Its clicks reach the dialog through the
// dialog's own click dispatch; control classes derive from it to change how
// the button looks or behaves.
class CButton : public CWnd {};
