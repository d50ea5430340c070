#pragma once
#include "Wnd.h"

// A single-line edit field of a template.
class CEdit : public CWnd {};
