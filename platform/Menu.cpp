#include "Menu.h"

#include "Gbk.h"

BOOL CMenu::AppendMenu(UINT flags, UINT id, const CString& text) {
  m_items.push_back({flags, id, FromGbk(text)});
  return TRUE;
}
